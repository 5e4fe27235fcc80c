#!/usr/bin/python3
"""CPU of a run of the built program that waits out a 3-second time-out
(the server never greets), without a display: user+sys seconds (target
under 0.2 s) beside the wall time, and the same for curl waiting out the
same server with --max-time 3. Sends are compared in unattended_bench.py.
Usage: bench/waiting_run_bench.py [build-dir] [rounds]"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
ENV = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}


def server(folder, *flags):
    proc = subprocess.Popen(["/usr/bin/python3", os.path.join(ROOT, "tests", "fixtures", "smtp_server.py"),
                             "--out", folder, "--discard", "--lifetime", "600", *flags],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    return proc, int(proc.stdout.readline().split()[1])


def program(folder, port, extra=""):
    shutil.copy(os.path.join(BUILD, "tarnwick"), folder)
    with open(os.path.join(folder, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:%d\n%s" % (port, extra))
    return os.path.join(folder, "tarnwick")


def cpu_run(cmd):
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stderr=subprocess.DEVNULL, env=ENV)
    _, _, usage = os.wait4(proc.pid, 0)
    return time.monotonic() - start, usage.ru_utime + usage.ru_stime


def main():
    work = tempfile.mkdtemp(prefix="tarnwick-bench-")
    silent_dir, app = os.path.join(work, "s"), os.path.join(work, "a")
    for d in (silent_dir, app):
        os.mkdir(d)
    silent, silent_port = server(silent_dir, "--fault", "no-greeting")
    waiting = program(app, silent_port, "TimeOutSecs=3\nTotalAttempts=1\n")
    waits = [cpu_run([waiting, "-t", "b@example.com", "-s", "wait"]) for _ in range(ROUNDS)]
    curls = [cpu_run(["curl", "-sS", "--max-time", "3", "--mail-from", "a@example.com",
                      "--mail-rcpt", "b@example.com", "-T", os.devnull,
                      "smtp://127.0.0.1:%d/bench" % silent_port]) for _ in range(ROUNDS)]
    silent.stdin.close()
    silent.wait()
    shutil.rmtree(work)

    print("rounds: %d" % ROUNDS)
    for name, runs in (("tarnwick", waits), ("curl", curls)):
        print("%-8s waiting out 3 s: wall %.2f s, user+sys %.3f s (worst; target < 0.2 s)"
              % (name, statistics.median(w for w, _ in runs), max(c for _, c in runs)))


if __name__ == "__main__":
    main()
