#!/usr/bin/env python3
"""The peer of the server benchmark: a TCP echo server on Python's
selectors module (one thread, non-blocking sockets), listening on loopback.
Prints "PORT <n>" on its first line, then serves until killed."""
import selectors
import socket

sel = selectors.DefaultSelector()


def accept(server):
    while True:
        try:
            conn, _ = server.accept()
        except BlockingIOError:
            return
        conn.setblocking(False)
        sel.register(conn, selectors.EVENT_READ, echo)


def echo(conn):
    try:
        data = conn.recv(65536)
    except ConnectionError:
        data = b""
    if not data:
        sel.unregister(conn)
        conn.close()
        return
    conn.sendall(data)


def main():
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1024)
    server.setblocking(False)
    sel.register(server, selectors.EVENT_READ, accept)
    print("PORT %d" % server.getsockname()[1], flush=True)
    while True:
        for key, _ in sel.select():
            key.data(key.fileobj)


if __name__ == "__main__":
    main()
