#!/usr/bin/python3
"""Large attachments, whole program (no display) in one run against the same
local sink (bench/sink_server.py, which throws messages away in large reads
so the clients are what is measured): a 50 MB attachment against the
loopback floor (floor_send.py: a sendfile of the already encoded message),
with s-nail and curl -F for reference; then the peak RSS of the program
itself while it sends a 500 MB attachment. Rounds are paired: every client
runs once per round, in turn. Prints median wall time, peak RSS, the ratios
and a summary against the targets.
Usage: bench/smtp_client_bench.py [build-dir] [rounds] [--helper]"""

import base64
import os
import shutil
import statistics

import floor_send
from paired_runs import (PY, ROOT, Client, Failed, Program, arguments, checked, details,
                         limit_row, note, paired, ratio_row, seconds, sink_check, summary)
from sink_server import with_sink

MB = 1024 * 1024


def main():
    p = arguments(__doc__, 7)
    p.add_argument("--huge-mb", type=int, default=500, help="size of the memory case's attachment")
    p.add_argument("--huge-rounds", type=int, default=1)
    p.add_argument("--helper", action="store_true",
                   help="add the SmtpClient helper (build/bench/tarnwick-send-once) for reference")
    args = p.parse_args()
    with_sink("tarnwick-bench-", lambda work, port: report(args, work, port))


def report(args, work, port):
    url = "127.0.0.1:%d" % port
    program = Program(args.build, work, args.wait_minutes, args.rebuild_wait)
    with open(os.path.join(work, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=%s\nTimeOutSecs=15\nTotalAttempts=1\n"
                % url)
    body = os.path.join(work, "body.txt")
    with open(body, "w", newline="\r\n") as f:  # curl sends line ends as they are
        line = "The quick brown fox jumps over the lazy dog, again and again.\n"
        f.write(line * (10 * 1024 // len(line)))
    big = os.path.join(work, "big.bin")
    with open(big, "wb") as f:
        for _ in range(50):
            f.write(os.urandom(MB))
    encoded = os.path.join(work, "encoded.eml")
    with open(big, "rb") as src, open(encoded, "wb") as f:
        f.write(b"From: a@example.com\r\nTo: b@example.com\r\nSubject: bench\r\nMIME-Version: 1.0\r\n"
                b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n")
        f.write(base64.encodebytes(src.read()).replace(b"\n", b"\r\n"))

    tarnwick = [program.path, "-t", "b@example.com", "-s", "bench", "-m", "body.txt", "-a"]
    curl = ["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
            "smtp://%s/bench" % url, "-H", "Subject: bench"]

    def direct(attachment):
        # The same send to a sink of its own, to see every byte arrive.
        return lambda p: tarnwick[:1] + ["-x", "127.0.0.1:%d" % p] + tarnwick[1:] + [attachment]
    problem = checked("tarnwick", sink_check(direct(big), cwd=work), 1, 50 * MB * 4 // 3)

    def floor_in_process():
        try:
            floor_send.send(port, encoded)
        except SystemExit as e:
            raise Failed(str(e))

    # The floor as a process is mostly the interpreter starting; the same
    # dialogue timed inside this process shows the transfer alone.
    large = [Client("tarnwick", tarnwick + [big], cwd=work),
             Client("floor", [PY, os.path.join(ROOT, "bench", "floor_send.py"), str(port),
                              encoded]),
             Client("floor, in process", floor_in_process),
             Client("python start-up", [PY, "-c", "import os, socket, sys"], compare=False)]
    if shutil.which("s-nail"):
        large.append(Client("s-nail", ["s-nail", "-n", "-#", "-S", "v15-compat", "-S",
                                       "mta=smtp://%s" % url, "-S", "smtp-auth=none", "-S",
                                       "sendwait", "-r", "a@example.com", "-s", "bench", "-a",
                                       big, "b@example.com"], body))
    large.append(Client("curl -F", curl + ["-F", "=<%s;type=text/plain" % body,
                                           "-F", "=@%s;encoder=base64" % big]))
    helper = os.path.join(args.build, "bench", "tarnwick-send-once")
    if args.helper and os.path.exists(helper):
        large.append(Client("send-once helper", [helper, url, "a@example.com", "b@example.com",
                                                 "bench", body, big]))
    fifty = paired(large, args.rounds, program, rss=True, timeout=120)

    huge = os.path.join(work, "huge.bin")
    with open(huge, "wb") as f, open(big, "rb") as src:
        chunk = src.read()
        for _ in range(args.huge_mb // 50):
            f.write(chunk)
        f.write(chunk[:args.huge_mb % 50 * MB])
    os.remove(encoded)
    # Each huge send goes to a sink of its own, which counts what arrived.
    walls, peak, huge_problem = [], 0.0, None
    for _ in range(args.huge_rounds):
        stats = sink_check(direct(huge), cwd=work, rss=True)
        if "error" in stats:
            note("tarnwick failed: %s" % stats["error"])
            if program.refresh(args.rebuild_wait):
                stats = sink_check(direct(huge), cwd=work, rss=True)
        huge_problem = checked("tarnwick", stats, 1, args.huge_mb * MB * 4 // 3)
        if huge_problem:
            break
        walls.append(stats["wall"])
        peak = max(peak, stats["rss"])
    os.remove(huge)

    details("50 MB attachment (peak RSS of each client itself)", fifty)
    if not huge_problem:
        print("\n%d MB attachment: tarnwick median %s, peak RSS %.1f MB, %.0f MB/s of attachment"
              % (args.huge_mb, seconds(statistics.median(walls)), peak,
                 args.huge_mb / statistics.median(walls)))
    summary([ratio_row("50 MB attachment", fifty, "floor", 1.1, problem),
             limit_row("%d MB attachment, peak RSS" % args.huge_mb, "%.1f MB" % peak,
                       "< 20 MB", peak < 20, huge_problem)],
            program, args.rounds)


if __name__ == "__main__":
    main()
