#!/usr/bin/python3
"""Runs the benchmarks that hold the program to its targets, one after the
other (sends, TLS, large attachments), showing each as it goes, then their
summaries together. Rounds, when given, apply to every script; otherwise
each uses its own default.
Usage: bench/run_all.py [build-dir] [rounds]"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = ["unattended_bench.py", "tls_bench.py", "smtp_client_bench.py",
           "password_source_bench.py", "outbox_flush_bench.py", "oauth_token_bench.py",
           "sendmail_bench.py"]


def main():
    summaries, status = [], 0
    for script in SCRIPTS:
        print("=== %s" % script, flush=True)
        proc = subprocess.Popen([os.path.join(HERE, script), *sys.argv[1:]],
                                stdout=subprocess.PIPE, text=True)
        block = None
        for line in proc.stdout:
            sys.stdout.write(line)
            if line.startswith("Summary ("):
                block = []
            if block is not None:
                block.append(line)
        if proc.wait() != 0:
            status = 1
            block = ["%s ended with status %d\n" % (script, proc.returncode)]
        summaries.append("".join(block or ["%s printed no summary\n" % script]))
    print("\n=== all summaries")
    for s in summaries:
        print(s.rstrip("\n") + "\n")
    return status


if __name__ == "__main__":
    sys.exit(main())
