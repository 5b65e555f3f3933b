#!/usr/bin/env python3
"""TLS hosts on 127.0.0.1 for the Windows host transport's tests.

    tls_test_host.py CERT KEY

Prints two ports on one line: a host that offers TLS 1.2 and later, and one
that speaks only TLS 1.1. The first reads one command line per connection:

    ECHO n\\n + n bytes  answers "ANS:" and the bytes, then waits for the
                         client to close and notes whether a TLS close
                         notice came first
    BIG n\\n             sends n pattern bytes ((i * 13) % 256), a close
                         notice and the FIN
    FORGE\\n             sends a record that no key made, then waits
    LAST\\n              answers "close_notify" or "no close_notify" for the
                         last ECHO connection
The TLS 1.1 host sends "ok" and waits for the client to close.
"""
import os
import socket
import socketserver
import ssl
import sys
import threading
import warnings

last_close = b"none"


def pattern(size):
    return bytes((i * 13) % 256 for i in range(size))


def read_line(tls):
    line = b""
    while not line.endswith(b"\n"):
        byte = tls.recv(1)
        if not byte:
            raise EOFError
        line += byte
    return line[:-1]


def read_exactly(tls, size):
    data = b""
    while len(data) < size:
        more = tls.recv(size - len(data))
        if not more:
            raise EOFError
        data += more
    return data


def closed_with_notice(tls):
    try:
        while tls.recv(4096):
            pass
        return True
    except (ssl.SSLError, OSError):
        return False


def serve_commands(tls):
    global last_close
    command, _, argument = read_line(tls).partition(b" ")
    if command == b"ECHO":
        tls.sendall(b"ANS:" + read_exactly(tls, int(argument)))
        last_close = b"close_notify" if closed_with_notice(tls) else b"no close_notify"
    elif command == b"BIG":
        tls.sendall(pattern(int(argument)))
        tls.unwrap().close()
    elif command == b"FORGE":
        # Straight onto the socket, past the TLS layer.
        with socket.socket(fileno=os.dup(tls.fileno())) as raw:
            raw.sendall(b"\x17\x03\x03\x00\x40" + bytes(64))
        closed_with_notice(tls)
    elif command == b"LAST":
        tls.sendall(last_close)
        closed_with_notice(tls)


def serve_old_client(tls):
    tls.sendall(b"ok")
    closed_with_notice(tls)


def start_host(context, serve):
    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            self.request.settimeout(30)
            try:
                with context.wrap_socket(self.request, server_side=True,
                                         suppress_ragged_eofs=False) as tls:
                    serve(tls)
            except (ssl.SSLError, OSError, EOFError, ValueError):
                pass

    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    cert, key = sys.argv[1:3]
    current = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    current.load_cert_chain(cert, key)
    old = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    old.load_cert_chain(cert, key)
    # Old protocol versions need the lowest security level of OpenSSL 3;
    # Python's warning that they are old is the point of this host.
    warnings.filterwarnings("ignore", category=DeprecationWarning)
    old.set_ciphers("DEFAULT:@SECLEVEL=0")
    old.minimum_version = ssl.TLSVersion.TLSv1_1
    old.maximum_version = ssl.TLSVersion.TLSv1_1
    print(start_host(current, serve_commands), start_host(old, serve_old_client), flush=True)
    # Ends with whoever started it, even one killed without warning: its
    # end of standard input closes then.
    sys.stdin.read()


if __name__ == "__main__":
    main()
