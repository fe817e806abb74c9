#!/usr/bin/env python3
"""Peers for the network tests, on loopback and an ephemeral port.

    net_peer.py http            scripted HTTP cases (see ROUTES)
    net_peer.py tcpecho         echoes every byte back
    net_peer.py udpecho         echoes every datagram back
    net_peer.py ftp ROOT        FTP over ROOT: anonymous, and user/secret
    net_peer.py ftpevil CASE    a scripted FTP server that misbehaves (see
                                serve_evil_ftp): pasv, size213, longline

Prints "PORT <n>" on its first line, then serves until killed.
"""
import base64
import os
import socket
import sys
import threading
import time


def reply(conn, status, body=b"", headers=None, length=True):
    head = "HTTP/1.1 %s\r\n" % status
    for k, v in (headers or {}).items():
        head += "%s: %s\r\n" % (k, v)
    if length:
        head += "Content-Length: %d\r\n" % len(body)
    conn.sendall(head.encode() + b"\r\n" + body)


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, {}, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        if ":" in line:
            k, v = line.split(":", 1)
            headers[k.strip().lower()] = v.strip()
    n = int(headers.get("content-length", "0"))
    while len(rest) < n:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    return lines[0], headers, head + b"\r\n\r\n" + rest


def serve_http(conn):
    try:
        line, headers, raw = read_request(conn)
        if line is None:
            return
        path = line.split(" ")[1]
        if path.startswith("http://"):  # a proxy request carries the whole URL
            path = "/" + path[7:].split("/", 1)[1]
        if path == "/hello":
            reply(conn, "200 OK", b"hello world")
        elif path == "/chunked":
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n3\r\nefg\r\n0\r\n\r\n")
        elif path == "/badchunk":
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
        elif path == "/close":
            conn.sendall(b"HTTP/1.1 200 OK\r\n\r\nuntil the end")
        elif path.startswith("/redirect/"):
            n = int(path.split("/")[2])
            if n == 0:
                reply(conn, "200 OK", b"arrived")
            else:
                reply(conn, "302 Found", b"moved", {"Location": "/redirect/%d" % (n - 1)})
        elif path == "/redirect-host":  # the same server under another name
            port = conn.getsockname()[1]
            reply(conn, "302 Found", b"", {"Location": "http://localhost:%d/request" % port})
        elif path.startswith("/redirect-post/"):  # 301, 302 or 303 to /request
            port = conn.getsockname()[1]
            reply(conn, "%s Moved" % path.split("/")[2], b"", {"Location": "http://127.0.0.1:%d/request" % port})
        elif path == "/loop":
            reply(conn, "302 Found", b"loop body", {"Location": "/loop"})
        elif path == "/dir/page":
            reply(conn, "301 Moved", b"", {"Location": "other"})
        elif path == "/dir/other":
            reply(conn, "200 OK", b"relative")
        elif path == "/auth":
            auth = headers.get("authorization", "")
            if not auth:
                reply(conn, "401 Unauthorized", b"who?")
            else:
                reply(conn, "200 OK", base64.b64decode(auth.split(" ")[1]))
        elif path == "/missing":
            reply(conn, "404 Not Found", b"nope")
        elif path == "/empty":
            reply(conn, "204 No Content", b"", length=False)
        elif path == "/gzip":
            conn.sendall(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n")
        elif path == "/nohttp":
            conn.sendall(b"HTTQ/1.1 200 OK\r\n\r\n")
        elif path == "/noversion":
            conn.sendall(b"HTTP/x 200 OK\r\n\r\n")
        elif path == "/nospace":
            conn.sendall(b"HTTP/1.1\r\n\r\n")
        elif path == "/continue":
            conn.sendall(b"HTTP/1.1 100 Continue\r\nX: y\r\n\r\n")
            reply(conn, "200 OK", b"after continue")
        elif path == "/error":
            reply(conn, "500 Server Error", b"broken")
        elif path == "/longheader":
            conn.sendall(b"HTTP/1.1 200 OK\r\nX-Long: " + b"a" * 40000 + b"\r\n\r\n")
        elif path == "/headers-forever":  # a head without end, sent fast
            conn.sendall(b"HTTP/1.1 200 OK\r\n")
            n = 0
            while n < 200000:
                conn.sendall(b"".join(b"X-Header-%d: value\r\n" % (n + i) for i in range(100)))
                n += 100
        elif path == "/slow-head":  # a byte now and then, for five seconds
            conn.sendall(b"HTTP/1.1 200 OK\r\nX-Slow: ")
            for _ in range(50):
                time.sleep(0.1)
                conn.sendall(b"a")
        elif path == "/longstatus":
            conn.sendall(b"HTTP/1.1 200 " + b"O" * 4096 + b"\r\n\r\n")
        elif path == "/hugeheader":
            conn.sendall(b"HTTP/1.1 200 OK\r\nX-Huge: " + b"h" * (1 << 20) + b"\r\n\r\n")
        elif path == "/midline":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Len")
        elif path == "/silent":
            time.sleep(5)
        elif path == "/request":
            reply(conn, "200 OK", raw)
        elif path.startswith("/cut/"):  # promises twice what it sends
            n = int(path.split("/")[2])
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % (2 * n) + b"c" * n)
        elif path.startswith("/big/"):
            n = int(path.split("/")[2])
            reply(conn, "200 OK", bytes(i % 251 for i in range(n)))
        else:
            reply(conn, "404 Not Found", b"unknown")
    except OSError:
        pass
    finally:
        conn.close()


def serve_evil_ftp(conn, case):
    """One FTP session. pasv: the PASV reply names 127.0.0.2, where a trap
    listens on the same port as the real data listener on 127.0.0.1; a
    client that obeys the reply downloads "trapped" (and uploads into the
    trap), one that keeps to the control connection's peer gets "the data".
    size213: the SIZE reply is "213" and nothing more. longline: the
    greeting is one line of a megabyte."""
    f = conn.makefile("rb")

    def send(line):
        conn.sendall(line.encode() + b"\r\n")

    try:
        if case == "longline":
            conn.sendall(b"220 " + b"x" * (1 << 20) + b"\r\n")
            time.sleep(5)
            return
        send("220 ready")
        data = None
        while True:
            line = f.readline()
            if not line:
                return
            cmd = line.decode("latin-1").strip().split(" ", 1)
            verb = cmd[0].lower()
            if verb == "user":
                send("331 password")
            elif verb == "pass":
                send("230 in")
            elif verb == "type":  # (size213: digits where a misread would find them)
                send("200 12345678" if case == "size213" else "200 ok")
            elif verb == "pasv":
                data = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                data.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                data.bind(("127.0.0.1", 0))
                data.listen(1)
                port = data.getsockname()[1]
                host = "127,0,0,1"
                if case == "pasv":
                    trap = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                    trap.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                    trap.bind(("127.0.0.2", port))
                    trap.listen(1)
                    threading.Thread(target=serve_trap, args=(trap,), daemon=True).start()
                    host = "127,0,0,2"
                send("227 Entering Passive Mode (%s,%d,%d)" % (host, port >> 8, port & 255))
            elif verb == "size":
                send("213" if case == "size213" else "213 8")
            elif verb == "retr":
                send("150 sending")
                d, _ = data.accept()
                d.sendall(b"the data")
                d.close()
                send("226 done")
            elif verb == "stor":
                send("150 go ahead")
                d, _ = data.accept()
                got = b""
                while True:
                    chunk = d.recv(65536)
                    if not chunk:
                        break
                    got += chunk
                d.close()
                send("226 got %d" % len(got))
            elif verb == "quit":
                send("221 bye")
                return
            else:
                send("502 no")
    except OSError:
        pass
    finally:
        conn.close()


def serve_trap(trap):
    try:
        d, _ = trap.accept()
        d.sendall(b"trapped")
        d.close()
    except OSError:
        pass


def main():
    mode = sys.argv[1]
    if mode == "ftp":
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import FTPServer
        import logging
        logging.disable(logging.CRITICAL)
        auth = DummyAuthorizer()
        auth.add_user("user", "secret", sys.argv[2], perm="elradfmw")
        auth.add_anonymous(sys.argv[2])
        handler = FTPHandler
        handler.authorizer = auth
        handler.passive_ports = None
        server = FTPServer(("127.0.0.1", 0), handler)
        print("PORT %d" % server.socket.getsockname()[1], flush=True)
        server.serve_forever()
        return
    kind = socket.SOCK_DGRAM if mode == "udpecho" else socket.SOCK_STREAM
    s = socket.socket(socket.AF_INET, kind)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    if kind == socket.SOCK_STREAM:
        s.listen(64)
    print("PORT %d" % s.getsockname()[1], flush=True)
    if mode == "udpecho":
        while True:
            data, addr = s.recvfrom(65536)
            s.sendto(data, addr)
    while True:
        conn, _ = s.accept()
        if mode == "http":
            threading.Thread(target=serve_http, args=(conn,), daemon=True).start()
        elif mode == "ftpevil":
            threading.Thread(target=serve_evil_ftp, args=(conn, sys.argv[2]), daemon=True).start()
        else:
            def echo(c):
                try:
                    while True:
                        d = c.recv(65536)
                        if not d:
                            break
                        c.sendall(d)
                except OSError:
                    pass
                c.close()
            threading.Thread(target=echo, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
