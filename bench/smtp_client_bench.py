#!/usr/bin/python3
"""Tarnwick's SMTP component against its peers in one run, to the same local
sink (bench/sink_server.py, which throws messages away in large reads so the
clients are what is measured): a 10 KB message against curl and msmtp; a
50 MB attachment against s-nail, curl -F and the loopback floor (a sendfile
of the already encoded message); the peak memory for a 500 MB attachment.
Rounds are paired: every client runs once per round, in turn. Prints median
wall time, peak RSS and the ratios.
Usage: bench/smtp_client_bench.py [build-dir] [rounds]"""

import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from sink_server import with_sink

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 7
SENDER = os.path.join(BUILD, "bench", "tarnwick-send-once")
PY = "/usr/bin/python3"


def run(cmd, stdin=None):
    # GNU time reports the peak RSS of the program alone; the same small
    # wrapper runs around every client, so wall times compare fairly.
    with tempfile.NamedTemporaryFile("r") as rss:
        with open(stdin or os.devnull, "rb") as feed:
            start = time.monotonic()
            proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss.name] + cmd,
                                  stdin=feed, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            wall = time.monotonic() - start
        if proc.returncode != 0:
            raise SystemExit("failed: %s\n%s" % (" ".join(cmd), proc.stderr.decode(errors="replace")))
        return wall, int(rss.read().split()[-1]) / 1024.0  # MB


def paired(clients):
    """clients: [(name, cmd, stdin)]; every round runs each once."""
    walls = {name: [] for name, _, _ in clients}
    rss = {name: 0.0 for name, _, _ in clients}
    for _ in range(ROUNDS):
        for name, cmd, stdin in clients:
            w, r = run(cmd, stdin)
            walls[name].append(w)
            rss[name] = max(rss[name], r)
    return [{"name": n, "wall": statistics.median(walls[n]), "rss": rss[n]} for n, _, _ in clients]


def have(program):
    return shutil.which(program) is not None


def main():
    with_sink("tarnwick-bench-", report)


def report(work, port):
    url = "127.0.0.1:%d" % port
    body = os.path.join(work, "body.txt")
    with open(body, "w", newline="\r\n") as f:  # curl sends line ends as they are
        line = "The quick brown fox jumps over the lazy dog, again and again.\n"
        f.write(line * (10 * 1024 // len(line)))
    big = os.path.join(work, "big.bin")
    with open(big, "wb") as f:
        for _ in range(50):
            f.write(os.urandom(1024 * 1024))
    small_eml = os.path.join(work, "small.eml")
    with open(small_eml, "wb") as f:
        f.write(b"From: a@example.com\r\nTo: b@example.com\r\nSubject: bench\r\n\r\n"
                + open(body, "rb").read())
    encoded = os.path.join(work, "encoded.eml")
    with open(big, "rb") as src, open(encoded, "wb") as f:
        f.write(b"From: a@example.com\r\nTo: b@example.com\r\nSubject: bench\r\nMIME-Version: 1.0\r\n"
                b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n")
        f.write(base64.encodebytes(src.read()).replace(b"\n", b"\r\n"))

    curl = ["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
            "smtp://%s/bench" % url, "-H", "Subject: bench"]
    tarnwick = [SENDER, url, "a@example.com", "b@example.com", "bench", body]
    small = [("tarnwick", tarnwick, None),
             ("curl", curl + ["-F", "=<%s;type=text/plain" % body], None)]
    if have("msmtp"):
        small.append(("msmtp", ["msmtp", "--host=127.0.0.1", "--port=%d" % port,
                                "--from=a@example.com", "--auth=off", "--tls=off",
                                "b@example.com"], small_eml))
    large = [("tarnwick", tarnwick + [big], None)]
    if have("s-nail"):
        large.append(("s-nail", ["s-nail", "-n", "-#", "-S", "v15-compat", "-S",
                                 "mta=smtp://%s" % url, "-S", "smtp-auth=none", "-S", "sendwait",
                                 "-r", "a@example.com", "-s", "bench", "-a", big,
                                 "b@example.com"], body))
    large.append(("curl -F", curl + ["-F", "=<%s;type=text/plain" % body,
                                     "-F", "=@%s;encoder=base64" % big], None))
    large.append(("floor", [PY, os.path.join(ROOT, "bench", "floor_send.py"), str(port),
                            encoded], None))
    cases = {"10 KB message": paired(small), "50 MB attachment": paired(large)}

    print("rounds per case: %d, paired (median wall time, peak RSS)" % ROUNDS)
    for case, rows in cases.items():
        base = rows[0]
        print("\n%s" % case)
        for r in rows:
            print("  %-9s %8.3f s %8.1f MB" % (r["name"], r["wall"], r["rss"]))
        for r in rows[1:]:
            print("  tarnwick/%s: wall %.2fx, peak RSS %.2fx"
                  % (r["name"], base["wall"] / r["wall"], base["rss"] / r["rss"]))

    huge = os.path.join(work, "huge.bin")
    with open(huge, "wb") as f:
        for _ in range(10):
            f.write(open(big, "rb").read())
    wall, rss = run(tarnwick + [huge])
    print("\n500 MB attachment: tarnwick %.2f s, peak RSS %.1f MB (goal under 40 MB)" % (wall, rss))


if __name__ == "__main__":
    main()
