#!/usr/bin/python3
"""Tarnwick as the system's sendmail against msmtp as one, in one paired run
on a loopback sink: a 10 KB message piped to "sendmail -t -i" as cron and
PHP do (recipients from the header), and a 50 MB one with peak memory
measured. Prints Tarnwick's ratio to msmtp for each (the goal: at most 1.0
for the small one's time, and memory flat for the large one).
Usage: bench/sendmail_bench.py [build-dir] [rounds]"""

import os

from paired_runs import (Client, Program, arguments, checked, details, paired, ratio_row,
                         sink_check, summary)
from sink_server import with_sink


def main():
    args = arguments(__doc__, 21).parse_args()
    with_sink("tarnwick-sendmail-", lambda work, port: report(args, work, port))


def message(work, name, body_lines):
    path = os.path.join(work, name)
    line = b"The quick brown fox jumps over the lazy dog, again and again.\n"
    with open(path, "wb") as f:
        f.write(b"From: a@example.com\nTo: b@example.com\nSubject: bench\n\n")
        for _ in range(body_lines):
            f.write(line)
    return path


def report(args, work, port):
    folder = os.path.join(work, "tarnwick")
    os.mkdir(folder)

    # The sendmail interface takes its server from the settings only.
    def settings(p):
        with open(os.path.join(folder, "Tarnwick.ini"), "w") as f:
            f.write("[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:%d\nTotalAttempts=1\n" % p)

    def tarnwick(p):
        settings(p)
        return [sendmail, "-t", "-i"]

    settings(port)
    program = Program(args.build, folder, args.wait_minutes, args.rebuild_wait)
    sendmail = os.path.join(folder, "sendmail")
    os.symlink("tarnwick", sendmail)
    small = message(work, "small.eml", 160)
    large = message(work, "large.eml", 840_000)

    def msmtp(p):
        return ["msmtp", "--host=127.0.0.1", "--port=%d" % p, "--from=a@example.com",
                "--auth=off", "--tls=off", "-t", "-i"]

    problems = []
    for name, eml, size in (("small", small, 10 * 1024 - 200), ("large", large, 50 << 20)):
        for who, make in (("tarnwick", tarnwick), ("msmtp", msmtp)):
            stats = sink_check(make, stdin=eml)
            problems.append(checked("%s %s" % (who, name), stats, 1, size))
    problem = next((p for p in problems if p), None)
    settings(port)
    small_results = paired([Client("tarnwick", [sendmail, "-t", "-i"], stdin=small),
                            Client("msmtp", msmtp(port), stdin=small)], args.rounds, program)
    details("10 KB message on standard input, whole process", small_results)
    large_results = paired([Client("tarnwick", [sendmail, "-t", "-i"], stdin=large),
                            Client("msmtp", msmtp(port), stdin=large)],
                           max(3, args.rounds // 7), program, rss=True)
    details("50 MB message on standard input, whole process", large_results)
    summary([ratio_row("10 KB as sendmail -t -i", small_results, "msmtp", 1.0, problem),
             ratio_row("50 MB as sendmail -t -i", large_results, "msmtp", 1.0, problem)],
            program, args.rounds)


if __name__ == "__main__":
    main()
