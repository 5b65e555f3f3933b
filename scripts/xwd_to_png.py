"""Turns an X window dump (xwd, 24 or 32 bits a pixel, TrueColor) into a PNG
picture: xwd_to_png.py IN.xwd OUT.png"""
import struct
import sys
import zlib


def rows_of(dump):
    fields = struct.unpack(">25I", dump[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bytes_per_line, colours = fields[7], fields[12], fields[19]
    masks = fields[14:17]
    shifts = [(mask & -mask).bit_length() - 1 for mask in masks]
    step = bytes_per_line // width
    order = "<" if byte_order == 0 else ">"
    start = header_size + 12 * colours
    for y in range(height):
        line = dump[start + y * bytes_per_line:start + (y + 1) * bytes_per_line]
        row = bytearray(b"\x00")  # no filter
        for x in range(width):
            pixel = int.from_bytes(line[x * step:(x + 1) * step], "little" if order == "<" else "big")
            row += bytes((pixel & mask) >> shift for mask, shift in zip(masks, shifts))
        yield bytes(row)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def main(source, target):
    dump = open(source, "rb").read()
    width, height = struct.unpack(">II", dump[16:24])
    pixels = zlib.compress(b"".join(rows_of(dump)), 9)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(target, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", pixels) +
                  chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2])
