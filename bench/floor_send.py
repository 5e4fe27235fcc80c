#!/usr/bin/python3
"""The loopback floor: the least an SMTP client can do for a message that is
already encoded on disk. One dialogue, the message handed to the kernel with
sendfile, the reply awaited. Usage: floor_send.py PORT MESSAGE-FILE"""

import os
import socket
import sys


def reply(f):
    while True:
        line = f.readline()
        if not line:
            raise SystemExit("connection closed")
        if line[3:4] != b"-":
            if line[:1] not in (b"2", b"3"):
                raise SystemExit("refused: %r" % line)
            return


def send(port, path):
    with socket.create_connection(("127.0.0.1", port)) as s, open(path, "rb") as message:
        f = s.makefile("rb")
        reply(f)
        for command in (b"EHLO floor", b"MAIL FROM:<a@example.com>", b"RCPT TO:<b@example.com>",
                        b"DATA"):
            s.sendall(command + b"\r\n")
            reply(f)
        os.sendfile(s.fileno(), message.fileno(), 0, os.fstat(message.fileno()).st_size)
        s.sendall(b".\r\n")
        reply(f)
        s.sendall(b"QUIT\r\n")
        reply(f)


def main():
    send(int(sys.argv[1]), sys.argv[2])


if __name__ == "__main__":
    main()
