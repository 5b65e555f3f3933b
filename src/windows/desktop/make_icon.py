"""Packs PNG pictures into one Windows icon file (PNG entries, as Windows
Vista and later read them): make_icon.py OUT.ico IN.png..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit("not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main(out, pictures):
    blobs = [open(path, "rb").read() for path in pictures]
    offset = 6 + 16 * len(blobs)
    directory = b""
    for blob in blobs:
        width, height = png_size(blob)
        # 256 pixels and more are written as 0.
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                                 len(blob), offset)
        offset += len(blob)
    with open(out, "wb") as icon:
        icon.write(struct.pack("<HHH", 0, 1, len(blobs)) + directory + b"".join(blobs))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2:])
