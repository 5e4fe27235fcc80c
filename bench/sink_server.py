#!/usr/bin/python3
"""A minimal SMTP sink for benchmarks: answers every command, takes the
message in large reads and throws it away, so that the clients, not the
server, are what is measured. Listens on 127.0.0.1 with a port the OS picks,
printed as "PORT n"; stops when stdin closes or after --lifetime seconds."""

import argparse
import os
import socket
import sys
import threading
import time

END = b"\r\n.\r\n"


def serve(conn):
    with conn:
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pending = b""
        big = bytearray(1 << 20)

        def line():
            nonlocal pending
            while b"\r\n" not in pending:
                data = conn.recv(65536)
                if not data:
                    return None
                pending += data
            first, _, pending = pending.partition(b"\r\n")
            return first

        conn.sendall(b"220 sink ESMTP\r\n")
        while True:
            command = line()
            if command is None:
                return
            verb = command[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                conn.sendall(b"250-sink\r\n250-8BITMIME\r\n250-PIPELINING\r\n250 SIZE 0\r\n")
            elif verb == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                # Clients wait for the reply after the end of data, so it is
                # always the last thing read: only the tail needs a look.
                tail, pending = (b"\r\n" + pending)[-5:], b""
                while tail != END:
                    n = conn.recv_into(big)
                    if n == 0:
                        return
                    tail = (tail + bytes(big[max(0, n - 5):n]))[-5:]
                conn.sendall(b"250 2.0.0 OK discarded\r\n")
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            elif verb in (b"MAIL", b"RCPT", b"RSET", b"NOOP"):
                conn.sendall(b"250 OK\r\n")
            else:
                conn.sendall(b"502 not here\r\n")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--lifetime", type=float, default=600)
    args = p.parse_args()
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    print("PORT %d" % server.getsockname()[1], flush=True)
    stop = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.buffer.read(), stop.set()), daemon=True).start()
    deadline = time.monotonic() + args.lifetime
    server.settimeout(0.2)  # a close from another thread would not wake accept
    while not stop.is_set() and time.monotonic() < deadline:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        conn.settimeout(None)
        threading.Thread(target=serve, args=(conn,), daemon=True).start()
    server.close()


def with_sink(prefix, report):
    """For the benchmarks: starts this sink in its own process and calls
    report(work_folder, port); stops the sink and removes the folder after."""
    import shutil
    import subprocess
    import tempfile
    work = tempfile.mkdtemp(prefix=prefix)
    sink = subprocess.Popen(["/usr/bin/python3", os.path.abspath(__file__), "--lifetime", "3600"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        report(work, int(sink.stdout.readline().split()[1]))
    finally:
        sink.stdin.close()
        sink.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
