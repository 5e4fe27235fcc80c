#!/usr/bin/python3
"""What the benchmark scripts share: a private copy of the built program,
taken again when a rebuild lands under a run; runs without a display; rounds
in which every client runs once; the closing summary table."""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PY = "/usr/bin/python3"
# No display: the program starts as from cron or over ssh, the way it is
# meant to be measured.
ENV = {k: v for k, v in os.environ.items()
       if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}


def small_message(work):
    """A 10 KB body as body.txt and, for the peers, the same text as a whole
    message in small.eml; returns the body and the .eml path."""
    line = "The quick brown fox jumps over the lazy dog, again and again.\r\n"
    text = line * (10 * 1024 // len(line))
    with open(os.path.join(work, "body.txt"), "w", newline="") as f:
        f.write(text)
    eml = os.path.join(work, "small.eml")
    with open(eml, "w", newline="") as f:
        f.write("From: a@example.com\r\nTo: b@example.com\r\nSubject: bench\r\n\r\n" + text)
    return text, eml


def note(text):
    print(text, file=sys.stderr, flush=True)


def arguments(doc, rounds):
    """The command line every script takes: [build-dir] [rounds]."""
    p = argparse.ArgumentParser(description=doc,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    p.add_argument("rounds", nargs="?", type=int, default=rounds)
    p.add_argument("--wait-minutes", type=float, default=60,
                   help="how long to wait for the build to produce tarnwick")
    p.add_argument("--rebuild-wait", type=float, default=30,
                   help="seconds to look for a new build when tarnwick fails")
    return p


class Failed(Exception):
    pass


class Program:
    """The built tarnwick, copied into a work folder: it reads Tarnwick.ini
    and its files next to itself, and a rebuild cannot change it mid-case."""

    def __init__(self, build, folder, wait_minutes=60, rebuild_wait=30):
        self.source = os.path.join(build, "tarnwick")
        self.path = os.path.join(folder, "tarnwick")
        self.wait_minutes = wait_minutes
        self.rebuild_wait = rebuild_wait
        self.builds = []  # one description per copy taken
        self._copy()

    def _stamp(self):
        try:
            st = os.stat(self.source)
            return st.st_mtime_ns, st.st_size
        except FileNotFoundError:
            return None

    def _copy(self):
        deadline = time.monotonic() + self.wait_minutes * 60
        said = False
        while time.monotonic() < deadline:
            stamp = self._stamp()
            if stamp is None:
                if not said:
                    note("waiting for %s to be built (checking every minute)" % self.source)
                    said = True
                time.sleep(max(1, min(60, deadline - time.monotonic())))
                continue
            time.sleep(2)  # a file still being linked changes between looks
            if self._stamp() != stamp:
                continue
            shutil.copy2(self.source, self.path + ".new")
            os.replace(self.path + ".new", self.path)
            try:
                ok = subprocess.run([self.path, "-V"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, env=ENV, timeout=20).returncode == 0
            except subprocess.TimeoutExpired:
                ok = False
            if ok and self._stamp() == stamp:
                self.stamp = stamp
                self.builds.append(self._describe())
                return
            note("the copy of %s does not start yet (a rebuild?); trying again" % self.source)
            time.sleep(30)
        raise SystemExit("no working %s after %g minutes" % (self.source, self.wait_minutes))

    def refresh(self, wait=0):
        """Takes a new copy when the build has changed since the last one,
        looking for up to wait seconds (a rebuild may be under way)."""
        deadline = time.monotonic() + wait
        while self._stamp() == self.stamp and time.monotonic() < deadline:
            time.sleep(2)
        if self._stamp() == self.stamp:
            return False
        note("a new build of tarnwick landed; copying it")
        self._copy()
        return True

    def _describe(self):
        def out(cmd):
            try:
                return subprocess.run(cmd, capture_output=True, text=True).stdout.strip()
            except OSError:
                return ""
        commit = out(["git", "-C", ROOT, "log", "-1", "--oneline"])
        dirty = out(["git", "-C", ROOT, "status", "--porcelain", "--", "src", "CMakeLists.txt"])
        needed = [l for l in out(["readelf", "-d", self.path]).splitlines() if "NEEDED" in l]
        curl = sum("curl" in l for l in needed)
        libs = [l.split("[")[-1].rstrip("]") for l in needed]
        interesting = [n for n in libs if any(k in n for k in ("curl", "ssl", "gsasl", "Qt"))]
        built = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(self.stamp[0] / 1e9))
        return ("tarnwick built %s, HEAD %s%s; readelf -d lines naming curl: %d; links %s"
                % (built, commit, " (uncommitted changes under src)" if dirty else "", curl,
                   ", ".join(interesting) or "no curl/ssl/gsasl/Qt"))


def cpu_of_children():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def run(cmd, stdin=None, times=1, timeout=120, cwd=None, rss=False, cpu=None):
    """Runs cmd `times` times in a row; returns the wall seconds for all of
    them and, with rss, the peak RSS in MB of the program itself (GNU time
    reads it from wait4; the same wrapper runs around every client so wall
    times still compare). With a list as cpu, appends the user+sys seconds
    of the runs, which a busy machine disturbs less than wall time. Raises
    Failed on a non-zero exit or a hang."""
    if callable(cmd):  # work done inside this process: no start-up, no RSS
        start = time.monotonic()
        for _ in range(times):
            cmd()
        return time.monotonic() - start, 0.0
    peak = 0.0
    used = cpu_of_children()
    with tempfile.NamedTemporaryFile("r") as usage:
        wrap = ["/usr/bin/time", "-f", "%M", "-o", usage.name] if rss else []
        start = time.monotonic()
        for _ in range(times):
            with open(stdin or os.devnull, "rb") as feed:
                try:
                    proc = subprocess.run(wrap + cmd, stdin=feed, stdout=subprocess.DEVNULL,
                                          stderr=subprocess.PIPE, env=ENV, cwd=cwd,
                                          timeout=timeout)
                except subprocess.TimeoutExpired:
                    raise Failed("no end after %d s" % timeout)
            if proc.returncode != 0:
                err = proc.stderr.decode(errors="replace").strip().splitlines()
                raise Failed("exit status %d: %s" % (proc.returncode, " | ".join(err[-3:])))
            if rss:
                usage.seek(0)
                peak = max(peak, int(usage.read().split()[-1]) / 1024.0)
        wall = time.monotonic() - start
        if cpu is not None:
            cpu.append(cpu_of_children() - used)
        return wall, peak


class Client:
    """cmd: a command line, or a callable timed inside this process.
    compare: whether the details show the program's ratio to it."""

    def __init__(self, name, cmd, stdin=None, cwd=None, compare=True):
        self.name, self.cmd, self.stdin, self.cwd, self.compare = name, cmd, stdin, cwd, compare
        self.walls, self.cpus, self.rss, self.error = [], [], 0.0, None

    @property
    def median(self):
        return statistics.median(self.walls) if self.walls and not self.error else None

    @property
    def cpu(self):
        return statistics.median(self.cpus) if self.cpus and not self.error else None


def paired(clients, rounds, program, times=1, rss=False, timeout=120, warmup=True):
    """Every round runs each client once, the order turning from round to
    round so that none always goes first; an untimed run of each comes
    first unless warmup is off. A client that fails twice running is left
    out, its error kept. When the program fails and a new build lands (a
    rebuild may be under way), the case starts again on that build."""
    for _ in range(3):
        for c in clients:
            c.walls, c.cpus, c.rss, c.error = [], [], 0.0, None
        restart = False
        for r in range(-1 if warmup else 0, rounds):
            k = max(r, 0) % len(clients)
            for c in clients[k:] + clients[:k]:
                if c.error:
                    continue
                cpu = []
                for attempt in (1, 2):
                    try:
                        wall, peak = run(c.cmd, c.stdin, times, timeout, c.cwd, rss, cpu)
                        break
                    except Failed as e:
                        if not callable(c.cmd) and c.cmd[0] == program.path and \
                                program.refresh(program.rebuild_wait if attempt == 2 else 0):
                            restart = True
                            break
                        if attempt == 2:
                            c.error = str(e)
                            note("%s failed: %s" % (c.name, e))
                        time.sleep(1)
                if restart:
                    break
                if r >= 0 and not c.error:
                    c.walls.append(wall)
                    c.cpus += cpu[-1:]
                    c.rss = max(c.rss, peak)
            if restart:
                break
        if not restart:
            return {c.name: c for c in clients}
    return {c.name: c for c in clients}


def seconds(x):
    if x is None:
        return "-"
    return "%.1f ms" % (x * 1000) if x < 1 else "%.3f s" % x


def ratio_row(case, results, peer, limit, problem=None, program_name="tarnwick"):
    """A summary row: the program's median against the peer's, met when the
    ratio is at most limit; a problem found by a check voids it."""
    mine, theirs = results[program_name], results[peer]
    row = [case, seconds(mine.median), peer, seconds(theirs.median)]
    if problem:
        return row + ["-", "<= %.2fx" % limit, "INVALID: " + problem[:120]]
    if mine.error:
        return row + ["-", "<= %.2fx" % limit, "FAILED: " + mine.error[:120]]
    if theirs.error:
        return row + ["-", "<= %.2fx" % limit, "no peer: " + theirs.error[:120]]
    ratio = mine.median / theirs.median
    return row + ["%.2fx" % ratio, "<= %.2fx" % limit, "met" if ratio <= limit else "NOT MET"]


def limit_row(case, shown, limit_text, met, error=None):
    """A summary row for a value held against a fixed limit (no peer)."""
    if error:
        return [case, "-", "-", "-", "-", limit_text, "FAILED: " + error[:120]]
    return [case, shown, "-", "-", "-", limit_text, "met" if met else "NOT MET"]


def details(title, results):
    """Every client of a case: median wall and CPU (and peak RSS when
    measured), with the program's ratio to each of the others."""
    print("\n%s" % title)
    mine = results.get("tarnwick")
    for c in results.values():
        if c.error:
            print("  %-18s failed: %s" % (c.name, c.error))
            continue
        extra = "  cpu %s" % seconds(c.cpu) if c.cpu is not None else ""
        extra += "  peak RSS %.1f MB" % c.rss if c.rss else ""
        if c is not mine and c.compare and mine is not None and mine.median:
            extra += "  tarnwick/%s %.2fx" % (c.name, mine.median / c.median)
            if mine.cpu and c.cpu:
                extra += " (cpu %.2fx)" % (mine.cpu / c.cpu)
        print("  %-18s median %9s  (min %s, max %s, n=%d)%s"
              % (c.name, seconds(c.median), seconds(min(c.walls)), seconds(max(c.walls)),
                 len(c.walls), extra))


def summary(rows, program, rounds):
    head = ["case", "tarnwick", "peer", "peer median", "ratio", "target", "result"]
    widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head) - 1)]
    print("\nSummary (%d rounds, paired, median wall time, no display)" % rounds)
    for b in program.builds:
        print("measured: %s" % b)
    for r in [head] + rows:
        print("  " + "  ".join(str(v).ljust(w) for v, w in zip(r, widths)) + "  " + r[-1])


def sink_check(make_cmd, flags=(), cwd=None, stdin=None, rss=False, times=1):
    """Sends (times in a row) against a sink of their own, to see the work
    was done (every recipient, every byte); make_cmd(port) gives the
    command. Returns the sink's counters with the "wall" and "rss" (MB, with
    rss) of the sends, or with "error" when one failed."""
    from sink_server import with_sink
    outcome = {}

    def send(work, port):
        try:
            outcome["wall"], outcome["rss"] = run(make_cmd(port), stdin, times, 600, cwd, rss)
        except Failed as e:
            outcome["error"] = str(e)
    stats = with_sink("tarnwick-check-", send, flags)
    stats.update(outcome)
    return stats


def checked(name, stats, rcpts=1, min_bytes=0, times=1):
    """Prints what checked sends delivered (each message to rcpts, of at
    least min_bytes); returns what was missing. QUIT is counted, not
    required: the outcome is known at the reply to the message."""
    if "error" in stats:
        problem = "failed: " + stats["error"]
    elif stats.get("messages") != times or stats.get("rcpts") != rcpts * times or \
            stats.get("data_bytes", 0) < min_bytes * times:
        problem = "%s of %d messages, %s of %d recipients, %s of at least %d bytes" % (
            stats.get("messages"), times, stats.get("rcpts"), rcpts * times,
            stats.get("data_bytes"), min_bytes * times)
    else:
        problem = None
    print("check %-16s %s" % (name, problem or (
        "%d message(s) to %d recipient(s) each, %d bytes of DATA each; QUIT in %d of %d sessions"
        % (times, rcpts, stats["data_bytes"] // times, stats["quits"], stats["connections"]))))
    return problem
