#!/usr/bin/python3
"""A minimal FTP proxy of the "USER user@host" kind, for the upload tests.

Listens on 127.0.0.1 on a free port (printed as "PORT <n>"). A client logs
in with "USER user@host:port" (or "user@host" for port 21); the proxy then
connects to that server, logs in there as "user" and relays the control
connection both ways. Data connections go directly between client and
server, which on the loopback address needs no rewriting. Each USER line
the proxy receives is appended to --log. Only 127.0.0.1 is ever connected.
"""

import argparse
import socket
import threading

from loopback_startup import add_common_arguments, announce, open_log


def read_line(sock):
    data = b""
    while not data.endswith(b"\n"):
        chunk = sock.recv(1)
        if not chunk:
            return None
        data += chunk
    return data


def read_reply(sock):
    """A whole reply, multi-line replies included."""
    first = read_line(sock)
    if first is None or len(first) < 4 or first[3:4] != b"-":
        return first
    lines = first
    while True:
        line = read_line(sock)
        if line is None:
            return None
        lines += line
        if line[:3] == first[:3] and line[3:4] == b" ":
            return lines


def pump(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            dst.sendall(data)
    except OSError:
        pass
    for s in (src, dst):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client, log):
    try:
        client.sendall(b"220 Test proxy ready; log in as user@host.\r\n")
        line = read_line(client)
        if line is None:
            return
        text = line.decode("latin-1").rstrip("\r\n")
        if log:
            log.write(text + "\n")
        cmd, _, arg = text.partition(" ")
        user, at, target = arg.rpartition("@")
        if cmd.upper() != "USER" or not at:
            client.sendall(b"530 Log in as user@host.\r\n")
            return
        host, _, port = target.partition(":")
        if host not in ("127.0.0.1", "localhost"):
            client.sendall(b"530 This test proxy only reaches 127.0.0.1.\r\n")
            return
        server = socket.create_connection(("127.0.0.1", int(port or 21)), timeout=30)
        server.settimeout(None)
        if read_reply(server) is None:
            client.sendall(b"421 The server closed the connection.\r\n")
            return
        server.sendall(("USER %s\r\n" % user).encode("latin-1"))
        threading.Thread(target=pump, args=(server, client), daemon=True).start()
        pump(client, server)
    except (OSError, ValueError) as e:
        try:
            client.sendall(("421 Proxy error: %s\r\n" % e).encode("latin-1"))
        except OSError:
            pass


def main():
    p = argparse.ArgumentParser()
    add_common_arguments(p)
    a = p.parse_args()
    log = open_log(a.log)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    announce(listener.getsockname()[1], a.lifetime)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, log), daemon=True).start()


if __name__ == "__main__":
    main()
