#!/usr/bin/python3
"""Two measurements of the built tarnwick program, each next to a peer:
1. CPU of a run that waits out a 3-second time-out (server never greets):
   user+sys seconds (target under 0.2 s), beside the wall time it took.
2. A successful local send: tarnwick's time to its outcome line (the window
   then stays three seconds by design) against curl's whole run; the ratio.
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


def until_outcome(cmd):
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stderr=subprocess.PIPE, env=ENV)
    line = proc.stderr.readline().decode()
    took = time.monotonic() - start
    proc.wait()
    if "Mail sent successfully!" not in line:
        raise SystemExit("tarnwick failed: " + line)
    return took


def whole(cmd):
    start = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def main():
    work = tempfile.mkdtemp(prefix="tarnwick-bench-")
    silent_dir, ok_dir, app1, app2 = (os.path.join(work, d) for d in ("s1", "s2", "a1", "a2"))
    for d in (silent_dir, ok_dir, app1, app2):
        os.mkdir(d)
    silent, silent_port = server(silent_dir, "--fault", "no-greeting")
    ok, ok_port = server(ok_dir)
    waiting = program(app1, silent_port, "TimeOutSecs=3\nTotalAttempts=1\n")
    sending = program(app2, ok_port)
    body = os.path.join(app2, "body.txt")
    with open(body, "w", newline="\r\n") as f:
        f.write("A short report.\n" * 40)

    waits = [cpu_run([waiting, "-t", "b@example.com", "-s", "wait"]) for _ in range(ROUNDS)]
    sends = [until_outcome([sending, "-t", "b@example.com", "-s", "bench", "-m", "body.txt"])
             for _ in range(ROUNDS)]
    curls = [whole(["curl", "-sS", "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
                    "smtp://127.0.0.1:%d/bench" % ok_port, "-H", "Subject: bench",
                    "-F", "=<%s;type=text/plain" % body]) for _ in range(ROUNDS)]
    for proc in (silent, ok):
        proc.stdin.close()
        proc.wait()
    shutil.rmtree(work)

    wall = statistics.median(w for w, _ in waits)
    cpu = max(c for _, c in waits)
    print("rounds: %d" % ROUNDS)
    print("waiting run (3 s time-out, then 3 s outcome): wall %.2f s, user+sys %.3f s (worst; target < 0.2 s)"
          % (wall, cpu))
    t, c = statistics.median(sends), statistics.median(curls)
    print("successful send: tarnwick to outcome %.1f ms, curl whole run %.1f ms, ratio %.2fx"
          % (t * 1000, c * 1000, t / c))


if __name__ == "__main__":
    main()
