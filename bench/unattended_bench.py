#!/usr/bin/python3
"""Tarnwick as scripts run it (whole process, no display) against curl and
msmtp, all to the same local sink (bench/sink_server.py) in one run: a 10 KB
message and a batch of 20 sends in a row against curl -T, one message to
1,000 recipients against curl -K (a config file listing the recipients).
Rounds are paired: every client runs once per round, in turn. Prints median
wall times, the ratios and a summary against the targets; msmtp is shown
for reference.
Usage: bench/unattended_bench.py [build-dir] [rounds]"""

import os
import shutil

from paired_runs import (Client, Program, arguments, checked, details, paired, ratio_row,
                         sink_check, small_message, summary)
from sink_server import with_sink

RECIPIENTS = 1000


def main():
    args = arguments(__doc__, 15).parse_args()
    with_sink("tarnwick-unattended-", lambda work, port: report(args, work, port))


def report(args, work, port):
    url = "127.0.0.1:%d" % port
    program = Program(args.build, work, args.wait_minutes, args.rebuild_wait)
    with open(os.path.join(work, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=%s\nTimeOutSecs=10\nTotalAttempts=1\n"
                % url)
    text, eml = small_message(work)
    rcpts = ["r%04d@example.com" % i for i in range(RECIPIENTS)]
    with open(os.path.join(work, "rcpts.txt"), "w") as f:
        f.write("\n".join(rcpts) + "\n")
    curl_config = os.path.join(work, "rcpts.curlrc")
    with open(curl_config, "w") as f:
        f.write("".join('mail-rcpt = "%s"\n' % r for r in rcpts))

    curl = ["curl", "-sS", "--mail-from", "a@example.com", "-T", eml, "smtp://%s/bench" % url]
    msmtp = ["msmtp", "--host=127.0.0.1", "--port=%d" % port, "--from=a@example.com",
             "--auth=off", "--tls=off"]
    have_msmtp = shutil.which("msmtp") is not None

    def one():
        clients = [Client("tarnwick", [program.path, "-t", "b@example.com", "-s", "bench",
                                       "-m", "body.txt"], cwd=work),
                   Client("curl -T", curl + ["--mail-rcpt", "b@example.com"])]
        if have_msmtp:
            clients.append(Client("msmtp", msmtp + ["b@example.com"], eml))
        return clients

    many = [Client("tarnwick", [program.path, "-t", "rcpts.txt", "-s", "bench", "-m", "body.txt"],
                   cwd=work),
            Client("curl -K", curl + ["-K", curl_config])]
    if have_msmtp:
        many.append(Client("msmtp", msmtp + rcpts, eml))

    # Each way of sending is checked for what reached the server.
    one_problem = checked("tarnwick", sink_check(lambda p: [
        program.path, "-x", "127.0.0.1:%d" % p, "-t", "b@example.com", "-s", "bench",
        "-m", "body.txt"], cwd=work, times=10), 1, len(text), 10)
    one_peer_problem = checked("curl -T", sink_check(lambda p: [
        "curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
        "-T", eml, "smtp://127.0.0.1:%d/bench" % p], times=10), 1, len(text), 10)
    many_problem = checked("tarnwick", sink_check(lambda p: [
        program.path, "-x", "127.0.0.1:%d" % p, "-t", "rcpts.txt", "-s", "bench",
        "-m", "body.txt"], cwd=work), RECIPIENTS, len(text))
    peer_problem = checked("curl -K", sink_check(lambda p: [
        "curl", "-sS", "--mail-from", "a@example.com", "-T", eml, "-K", curl_config,
        "smtp://127.0.0.1:%d/bench" % p]), RECIPIENTS, len(text))

    small = paired(one(), args.rounds, program)
    batch = paired(one(), args.rounds, program, times=20, timeout=300)
    wide = paired(many, args.rounds, program)

    details("10 KB message, whole process", small)
    details("batch of 20 sends in a row (wall time of all 20)", batch)
    details("one message to %d recipients" % RECIPIENTS, wide)
    one_problem = one_problem or one_peer_problem
    summary([ratio_row("10 KB message", small, "curl -T", 0.8, one_problem),
             ratio_row("20 sends in a row", batch, "curl -T", 0.8, one_problem),
             ratio_row("%d recipients" % RECIPIENTS, wide, "curl -K", 0.8,
                       many_problem or peer_problem)],
            program, args.rounds)


if __name__ == "__main__":
    main()
