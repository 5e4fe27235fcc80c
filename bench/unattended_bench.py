#!/usr/bin/python3
"""Tarnwick as scripts run it (whole process, no display) against curl -T
and msmtp, all to the same local sink (bench/sink_server.py) in one run:
a 10 KB message, a batch of 20 sends in a row, and one message to 1,000
recipients. Rounds are paired: every client runs once per round, in turn.
Prints median wall times and the ratios.
Usage: bench/unattended_bench.py [build-dir] [rounds]"""

import os
import shutil
import statistics
import subprocess
import sys
import time

from sink_server import with_sink

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 9
ENV = {k: v for k, v in os.environ.items()
       if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


def run(cmd, stdin=None, times=1):
    start = time.monotonic()
    for _ in range(times):
        with open(stdin or os.devnull, "rb") as feed:
            proc = subprocess.run(cmd, stdin=feed, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, env=ENV)
        if proc.returncode != 0:
            raise SystemExit("failed (%d): %s\n%s" % (proc.returncode, " ".join(cmd[:6]),
                                                      proc.stderr.decode(errors="replace")))
    return time.monotonic() - start


def paired(clients, times=1):
    walls = {name: [] for name, _, _ in clients}
    for _ in range(ROUNDS):
        for name, cmd, stdin in clients:
            walls[name].append(run(cmd, stdin, times))
    return [(name, statistics.median(walls[name])) for name, _, _ in clients]


def main():
    with_sink("tarnwick-unattended-", report)


def report(work, port):
    url = "127.0.0.1:%d" % port
    # The program reads its settings and files next to itself: a copy of its own.
    program = os.path.join(work, "tarnwick")
    shutil.copy(os.path.join(BUILD, "tarnwick"), program)
    with open(os.path.join(work, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=%s\n" % url)
    line = "The quick brown fox jumps over the lazy dog, again and again.\r\n"
    text = line * (10 * 1024 // len(line))
    with open(os.path.join(work, "body.txt"), "w", newline="") as f:
        f.write(text)
    eml = os.path.join(work, "small.eml")
    with open(eml, "w", newline="") as f:
        f.write("From: a@example.com\r\nTo: b@example.com\r\nSubject: bench\r\n\r\n" + text)
    rcpts = ["r%04d@example.com" % i for i in range(1000)]
    with open(os.path.join(work, "rcpts.txt"), "w") as f:
        f.write("\n".join(rcpts) + "\n")

    tarnwick = [program, "-t", "b@example.com", "-s", "bench", "-m", "body.txt"]
    curl = ["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
            "-T", eml, "smtp://%s/bench" % url]
    msmtp = ["msmtp", "--host=127.0.0.1", "--port=%d" % port, "--from=a@example.com",
             "--auth=off", "--tls=off", "b@example.com"]
    clients = [("tarnwick", tarnwick, None), ("curl -T", curl, None)]
    if shutil.which("msmtp"):
        clients.append(("msmtp", msmtp, eml))

    many_curl = ["curl", "-sS", "--mail-from", "a@example.com"]
    for r in rcpts:
        many_curl += ["--mail-rcpt", r]
    many = [("tarnwick", [program, "-t", "rcpts.txt", "-s", "bench", "-m", "body.txt"], None),
            ("curl -T", many_curl + ["-T", eml, "smtp://%s/bench" % url], None)]
    if shutil.which("msmtp"):
        many.append(("msmtp", msmtp[:-1] + rcpts, eml))

    cases = [("10 KB message, whole process", paired(clients), "goal: at most 1.5x curl"),
             ("batch of 20 sends in a row", paired(clients, times=20),
              "goal: faster than msmtp"),
             ("1,000 recipients", paired(many), "goal: at most 1.5x curl")]
    print("rounds per case: %d, paired, no display (median wall time)" % ROUNDS)
    for title, rows, goal in cases:
        print("\n%s (%s)" % (title, goal))
        base = rows[0][1]
        for name, wall in rows:
            print("  %-9s %8.3f s" % (name, wall))
        for name, wall in rows[1:]:
            print("  tarnwick/%s: %.2fx" % (name, base / wall))


if __name__ == "__main__":
    main()
