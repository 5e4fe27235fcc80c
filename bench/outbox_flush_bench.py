#!/usr/bin/python3
"""The outbox against one process per message: 1,000 queued 10 KB messages
sent by one tarnwick -flush (one connection, pipelined) against 1,000
separate curl -T runs, to the same local sink in one run. Each round puts
the same queued files back first (untimed), then times the flush and the
1,000 curls. The sink's own count shows every message arrived. Goal: the
flush takes at most 0.1x the time of the curls.
Usage: bench/outbox_flush_bench.py [build-dir] [rounds]"""

import os
import shutil
import subprocess
import time

from paired_runs import (ENV, Client, Program, arguments, details, note, ratio_row,
                         small_message, summary)
from sink_server import with_sink

MESSAGES = 1000


def main():
    args = arguments(__doc__, 3).parse_args()
    box = {}
    stats = with_sink("tarnwick-outbox-", lambda work, port: report(args, work, port, box))
    expected = box.get("sent", 0)
    problem = None if stats.get("messages") == expected else (
        "the sink took %s messages of %d" % (stats.get("messages"), expected))
    print("check: the sink took %s messages in %s connections (expected %d)"
          % (stats.get("messages"), stats.get("connections"), expected))
    summary([ratio_row("flush 1,000 queued 10 KB", box["results"], "curl -T x1000", 0.1,
                       problem)], box["program"], args.rounds)


def timed(cmd, cwd=None, stdin=None):
    start = time.monotonic()
    with open(stdin or os.devnull, "rb") as feed:
        proc = subprocess.run(cmd, cwd=cwd, env=ENV, stdin=feed, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise SystemExit("%s: exit %d: %s" % (cmd[0], proc.returncode, proc.stderr.decode()))
    return time.monotonic() - start


def report(args, work, port, box):
    program = Program(args.build, work, args.wait_minutes, args.rebuild_wait)
    box["program"] = program
    with open(os.path.join(work, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:%d\n" % port)
    _, eml = small_message(work)
    note("queueing %d messages with tarnwick -queue ..." % MESSAGES)
    for i in range(MESSAGES):
        timed([program.path, "-t", "b@example.com", "-s", "bench %d" % i, "-m", "body.txt",
               "-queue"], cwd=work)
    outbox = os.path.join(work, "outbox")
    pristine = os.path.join(work, "outbox-pristine")
    shutil.copytree(outbox, pristine)
    flush = Client("tarnwick", [program.path, "-flush"])
    curls = Client("curl -T x1000", ["curl"])
    curl = ["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
            "-T", eml, "smtp://127.0.0.1:%d/bench" % port]
    sent = 0
    for r in range(args.rounds):
        shutil.rmtree(outbox)
        shutil.copytree(pristine, outbox)
        flush.walls.append(timed([program.path, "-flush"], cwd=work))
        if os.listdir(outbox) not in ([], [".lock"]):
            raise SystemExit("the flush left messages behind: %s" % os.listdir(outbox)[:5])
        start = time.monotonic()
        for _ in range(MESSAGES):
            timed(curl)
        curls.walls.append(time.monotonic() - start)
        sent += 2 * MESSAGES
        note("round %d: flush %.2f s, curl x%d %.2f s" % (r + 1, flush.walls[-1], MESSAGES,
                                                         curls.walls[-1]))
    box["sent"] = sent
    box["results"] = {"tarnwick": flush, "curl -T x1000": curls}
    details("%d queued 10 KB messages" % MESSAGES, box["results"])


if __name__ == "__main__":
    main()
