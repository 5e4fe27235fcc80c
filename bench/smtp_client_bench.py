#!/usr/bin/python3
"""Tarnwick's SMTP client against curl (and msmtp where installed), in one
run, to the same local aiosmtpd server: a 10 KB message and a 50 MB
attachment. Prints median wall time and peak RSS per client and the ratios.
Usage: bench/smtp_client_bench.py [build-dir] [rounds]"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 9
SENDER = os.path.join(BUILD, "bench", "tarnwick-send-once")


def run(cmd):
    # GNU time reports the peak RSS of the program alone; the same small
    # wrapper runs around every client, so wall times compare fairly.
    with tempfile.NamedTemporaryFile("r") as rss:
        start = time.monotonic()
        proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss.name] + cmd,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.monotonic() - start
        if proc.returncode != 0:
            raise SystemExit("failed: %s\n%s" % (" ".join(cmd), proc.stderr.decode(errors="replace")))
        return wall, int(rss.read().split()[-1]) / 1024.0  # MB


def measure(name, cmd):
    walls, rss = [], []
    for _ in range(ROUNDS):
        w, r = run(cmd)
        walls.append(w)
        rss.append(r)
    return {"name": name, "wall": statistics.median(walls), "rss": max(rss)}


def main():
    work = tempfile.mkdtemp(prefix="tarnwick-bench-")
    server = subprocess.Popen(
        ["/usr/bin/python3", os.path.join(ROOT, "tests", "fixtures", "smtp_server.py"),
         "--out", work, "--discard", "--lifetime", "3600"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    port = int(server.stdout.readline().split()[1])
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

    curl = ["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
            "smtp://%s/bench" % url, "-H", "Subject: bench"]
    cases = {
        "10 KB message": [
            measure("tarnwick", [SENDER, url, "a@example.com", "b@example.com", "bench", body]),
            measure("curl", curl + ["-F", "=<%s;type=text/plain" % body]),
        ],
        "50 MB attachment": [
            measure("tarnwick", [SENDER, url, "a@example.com", "b@example.com", "bench", body, big]),
            measure("curl", curl + ["-F", "=<%s;type=text/plain" % body,
                                    "-F", "=@%s;encoder=base64" % big]),
        ],
    }
    if subprocess.call(["sh", "-c", "command -v msmtp >/dev/null"]) == 0:
        cases["10 KB message"].append(measure("msmtp", [
            "sh", "-c", "msmtp --host=127.0.0.1 --port=%d --from=a@example.com "
            "--auth=off --tls=off b@example.com < %s" % (port, small_eml)]))
    server.stdin.close()
    server.wait()

    print("rounds per case: %d (median wall time, peak RSS)" % ROUNDS)
    for case, rows in cases.items():
        base = rows[0]
        print("\n%s" % case)
        for r in rows:
            print("  %-9s %8.3f s %8.1f MB" % (r["name"], r["wall"], r["rss"]))
        for r in rows[1:]:
            print("  tarnwick/%s: wall %.2fx, peak RSS %.2fx"
                  % (r["name"], base["wall"] / r["wall"], base["rss"] / r["rss"]))
    big_rss = cases["50 MB attachment"][0]["rss"]
    print("\ntarnwick peak RSS with the 50 MB attachment: %.1f MB (target under 40 MB)" % big_rss)


if __name__ == "__main__":
    main()
