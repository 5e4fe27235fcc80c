#!/usr/bin/python3
"""A minimal SMTP sink for benchmarks: answers every command, takes the
message in large reads and throws it away, so that the clients, not the
server, are what is measured. Listens on 127.0.0.1 with a port the OS picks,
printed as "PORT n"; stops when stdin closes or after --lifetime seconds,
then prints one "STATS key=value ..." line of what it served.

With --cert/--key it offers STARTTLS and refuses MAIL before it; with --auth
USER:PASS it offers AUTH PLAIN (and XOAUTH2, PASS as the token) inside TLS (with --offer-auth-in-clear before
it too, as many servers on port 25 do, but refuses a login there) and refuses
MAIL before a login. A client that skips a step fails rather than looking
fast."""

import argparse
import base64
import os
import socket
import ssl
import sys
import threading
import time

END = b"\r\n.\r\n"


class Stats:
    def __init__(self):
        self.lock = threading.Lock()
        self.counts = dict.fromkeys(("connections", "tls", "auth_ok", "auth_refused",
                                     "auth_plaintext", "mail_refused", "rcpts", "messages",
                                     "data_bytes", "quits"), 0)

    def add(self, key, n=1):
        with self.lock:
            self.counts[key] += n

    def line(self):
        with self.lock:
            return "STATS " + " ".join("%s=%d" % kv for kv in self.counts.items())


class Session:
    def __init__(self, conn, tls, login, stats, offer_in_clear=False, accept_in_clear=False):
        self.conn = conn
        self.offer_in_clear = offer_in_clear or accept_in_clear
        self.accept_in_clear = accept_in_clear
        self.tls = tls          # server context, or None: no STARTTLS offered
        self.login = login      # (user, password) bytes, or None: no AUTH
        self.stats = stats
        self.secure = False
        self.authed = login is None
        self.pending = b""

    def line(self):
        while b"\r\n" not in self.pending:
            data = self.conn.recv(65536)
            if not data:
                return None
            self.pending += data
        first, _, self.pending = self.pending.partition(b"\r\n")
        return first

    def send(self, text):
        self.conn.sendall(text)

    def ehlo(self):
        lines = [b"sink", b"8BITMIME", b"PIPELINING", b"SIZE 0"]
        if self.tls and not self.secure:
            lines.append(b"STARTTLS")
        if self.login and (self.secure or self.offer_in_clear):
            lines.append(b"AUTH PLAIN XOAUTH2")
        self.send(b"".join(b"250-" + l + b"\r\n" for l in lines[:-1])
                  + b"250 " + lines[-1] + b"\r\n")

    def starttls(self):
        if not self.tls or self.secure:
            self.send(b"503 5.5.1 TLS not available\r\n")
            return True
        self.send(b"220 2.0.0 ready to start TLS\r\n")
        self.pending = b""  # anything sent ahead in clear text is not trusted
        try:
            self.conn = self.tls.wrap_socket(self.conn, server_side=True)
        except (ssl.SSLError, OSError):
            return False
        self.secure = True
        self.stats.add("tls")
        return True

    def auth(self, command):
        words = command.split()
        if not self.login:
            self.send(b"502 5.5.1 no AUTH here\r\n")
            return True
        if not self.secure and not self.accept_in_clear:
            self.stats.add("auth_plaintext")
            self.send(b"538 5.7.11 Encryption required\r\n")
            return True
        mechanism = words[1].upper() if len(words) > 1 else b""
        if mechanism not in (b"PLAIN", b"XOAUTH2"):
            self.send(b"504 5.5.4 only PLAIN and XOAUTH2\r\n")
            return True
        if len(words) > 2:
            answer = words[2]
        else:
            self.send(b"334 \r\n")
            answer = self.line()
            if answer is None:
                return False
        try:
            decoded = base64.b64decode(answer, validate=True)
            if mechanism == b"XOAUTH2":  # user=U ^A auth=Bearer TOKEN ^A ^A; the token is PASS
                fields = dict(f.split(b"=", 1) for f in decoded.split(b"\x01") if b"=" in f)
                user, password = fields[b"user"], fields[b"auth"].removeprefix(b"Bearer ")
            else:
                _, user, password = decoded.split(b"\0")
        except (ValueError, KeyError):
            self.send(b"501 5.5.2 cannot decode\r\n")
            return True
        if (user, password) == self.login:
            self.authed = True
            self.stats.add("auth_ok")
            self.send(b"235 2.7.0 Authentication successful\r\n")
        else:
            self.stats.add("auth_refused")
            self.send(b"535 5.7.8 Authentication credentials invalid\r\n")
        return True

    def data(self, big):
        self.send(b"354 go ahead\r\n")
        # Clients wait for the reply after the end of data, so it is always
        # the last thing read: only the tail needs a look.
        total = len(self.pending)
        tail, self.pending = (b"\r\n" + self.pending)[-5:], b""
        while tail != END:
            n = self.conn.recv_into(big)
            if n == 0:
                return False
            total += n
            tail = (tail + bytes(big[max(0, n - 5):n]))[-5:]
        self.stats.add("messages")
        self.stats.add("data_bytes", total)
        self.send(b"250 2.0.0 OK discarded\r\n")
        return True

    def serve(self):
        big = bytearray(1 << 20)
        self.send(b"220 sink ESMTP\r\n")
        while True:
            command = self.line()
            if command is None:
                return
            verb = command[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                self.ehlo()
            elif verb == b"STAR" and command[:8].upper() == b"STARTTLS":
                if not self.starttls():
                    return
            elif verb == b"AUTH":
                if not self.auth(command):
                    return
            elif verb == b"MAIL" and self.tls and not self.secure:
                self.stats.add("mail_refused")
                self.send(b"530 5.7.0 Must issue a STARTTLS command first\r\n")
            elif verb == b"MAIL" and not self.authed:
                self.stats.add("mail_refused")
                self.send(b"530 5.7.0 Authentication required\r\n")
            elif verb == b"DATA":
                if not self.data(big):
                    return
            elif verb == b"QUIT":
                self.stats.add("quits")
                self.send(b"221 bye\r\n")
                return
            elif verb == b"RCPT":
                self.stats.add("rcpts")
                self.send(b"250 OK\r\n")
            elif verb in (b"MAIL", b"RSET", b"NOOP"):
                self.send(b"250 OK\r\n")
            else:
                self.send(b"502 not here\r\n")


def serve(conn, tls, login, stats, offer_in_clear, accept_in_clear=False):
    stats.add("connections")
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    session = Session(conn, tls, login, stats, offer_in_clear, accept_in_clear)
    try:
        session.serve()
    except (OSError, ssl.SSLError):
        pass
    finally:
        session.conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--lifetime", type=float, default=600)
    p.add_argument("--cert", help="PEM certificate chain: offer STARTTLS")
    p.add_argument("--key", help="PEM key of --cert")
    p.add_argument("--auth", help="USER:PASS: offer AUTH PLAIN inside TLS, required for MAIL")
    p.add_argument("--offer-auth-in-clear", action="store_true",
                   help="list AUTH before STARTTLS too (a login there is refused and counted)")
    p.add_argument("--accept-auth-in-clear", action="store_true",
                   help="take a login without TLS, as a loopback relay may")
    args = p.parse_args()
    tls = None
    if args.cert:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.cert, args.key)
    login = None
    if args.auth:
        user, _, password = args.auth.partition(":")
        login = (user.encode(), password.encode())
    stats = Stats()
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
        threading.Thread(target=serve, args=(conn, tls, login, stats, args.offer_auth_in_clear,
                                             args.accept_auth_in_clear),
                         daemon=True).start()
    server.close()
    print(stats.line(), flush=True)


def with_sink(prefix, report, flags=()):
    """For the benchmarks: starts this sink in its own process with flags
    and calls report(work_folder, port); stops the sink and removes the
    folder after. Returns the sink's counters (connections, tls, auth_ok,
    messages, ...) as a dict."""
    import shutil
    import subprocess
    import tempfile
    work = tempfile.mkdtemp(prefix=prefix)
    sink = subprocess.Popen(["/usr/bin/python3", os.path.abspath(__file__), "--lifetime", "3600",
                             *flags], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        report(work, int(sink.stdout.readline().split()[1]))
    finally:
        sink.stdin.close()
        out = sink.stdout.read().decode()
        sink.wait()
        shutil.rmtree(work, ignore_errors=True)
    stats = {}
    for line in out.splitlines():
        if line.startswith("STATS "):
            stats = {k: int(v) for k, _, v in (w.partition("=") for w in line.split()[1:])}
    return stats


if __name__ == "__main__":
    main()
