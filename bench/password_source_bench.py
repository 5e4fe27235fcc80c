#!/usr/bin/python3
"""Where the password comes from must not slow a send: the 10 KB message,
logging in with AUTH PLAIN on a loopback sink, with the password enciphered
in Tarnwick.ini and with SMTPPasswordFrom=file, against curl -T --user, all
in one paired run. Prints each one's ratio to curl and the file form's ratio
to the enciphered one (the goal: the same, within 5 %).
Usage: bench/password_source_bench.py [build-dir] [rounds]"""

import os

from paired_runs import (Client, Program, arguments, checked, details, paired, ratio_row,
                         sink_check, small_message, summary)
from sink_server import with_sink

USER, PASSWORD = "bench", "bench-pw-42"
CIPHER_KEY = b"plomvaderskiturne"  # the program's fixed key: the file form's point


def rc4_hex(text, key=CIPHER_KEY):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = []
    for byte in text.encode():
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) % 256])
    return bytes(out).hex().upper()


def main():
    args = arguments(__doc__, 21).parse_args()
    with_sink("tarnwick-password-", lambda work, port: report(args, work, port),
              ["--auth", "%s:%s" % (USER, PASSWORD), "--accept-auth-in-clear"])


def folder(work, name, port, password_lines, user=USER):
    path = os.path.join(work, name)
    os.mkdir(path)
    with open(os.path.join(path, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:%d\nSMTPUserName=%s\n%s"
                "TimeOutSecs=10\nTotalAttempts=1\n" % (port, user, password_lines))
    small_message(path)
    return path


def report(args, work, port):
    ini_dir = folder(work, "ini", port, "SMTPPassword=%s\n" % rc4_hex(PASSWORD))
    secret = os.path.join(work, "smtp-pass")
    with open(os.open(secret, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write(PASSWORD + "\n")
    file_dir = folder(work, "file", port, "SMTPPasswordFrom=file %s\n" % secret)
    in_ini = Program(args.build, ini_dir, args.wait_minutes, args.rebuild_wait)
    from_file = Program(args.build, file_dir, args.wait_minutes, args.rebuild_wait)
    _, eml = small_message(work)
    send = ["-t", "b@example.com", "-s", "bench", "-m", "body.txt"]
    clients = [Client("tarnwick", [in_ini.path] + send, cwd=ini_dir),
               Client("tarnwick file", [from_file.path] + send, cwd=file_dir),
               Client("curl -T", ["curl", "-sS", "--user", "%s:%s" % (USER, PASSWORD),
                                  "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
                                  "-T", eml, "smtp://127.0.0.1:%d/bench" % port])]
    # Each must really log in: a sink of its own counts the logins.
    flags = ["--auth", "%s:%s" % (USER, PASSWORD), "--accept-auth-in-clear"]
    problems = []
    for name, program, cwd in (("tarnwick", in_ini, ini_dir), ("tarnwick file", from_file,
                                                               file_dir)):
        stats = sink_check(lambda p, program=program: [program.path, "-x", "127.0.0.1:%d" % p] +
                           send, flags=flags, cwd=cwd, times=5)
        problems.append(checked(name, stats, 1, 10 * 1024 - 100, 5) or
                        (None if stats.get("auth_ok") == 5 else
                         "%s logged in %s times of 5" % (name, stats.get("auth_ok"))))
    problem = next((p for p in problems if p), None)
    results = paired(clients, args.rounds, in_ini)
    details("10 KB message with a login, whole process", results)
    summary([ratio_row("password in Tarnwick.ini", results, "curl -T", 0.8, problem),
             ratio_row("SMTPPasswordFrom=file", results, "curl -T", 0.8, problem,
                       program_name="tarnwick file"),
             ratio_row("file against Tarnwick.ini", results, "tarnwick", 1.05, problem,
                       program_name="tarnwick file")],
            in_ini, args.rounds)


if __name__ == "__main__":
    main()
