#!/usr/bin/python3
"""An OAuth2 sign-in must not slow a send that has its token: the 10 KB
message with XOAUTH2 and an access token kept in Tarnwick.tokens (so no
token endpoint is asked and libcurl never loads), against the same send
with a password login (AUTH PLAIN), and curl -T --oauth2-bearer, all in one
paired run on a loopback sink. Prints each one's ratio to curl and the
token send's ratio to the password send (the goal: at most 1.1).
Usage: bench/oauth_token_bench.py [build-dir] [rounds]"""

import json
import os
import time

from paired_runs import (Client, Program, arguments, checked, details, paired, ratio_row,
                         sink_check, small_message, summary)
from password_source_bench import folder as settings_folder, rc4_hex
from sink_server import with_sink

USER, SECRET = "bench@example.com", "bench-token-42"


def main():
    args = arguments(__doc__, 21).parse_args()
    with_sink("tarnwick-oauth-", lambda work, port: report(args, work, port),
              ["--auth", "%s:%s" % (USER, SECRET), "--accept-auth-in-clear"])


def report(args, work, port):
    password_dir = settings_folder(work, "password", port, "SMTPPassword=%s\n" % rc4_hex(SECRET),
                                   USER)
    token_dir = settings_folder(work, "token", port,
                                "SMTPAuth=xoauth2\nOAuthClientId=bench\n"
                                "OAuthTokenUrl=http://127.0.0.1:1/token\n", USER)
    # A token good for a day: a send never needs the (absent) endpoint.
    tokens = {"accounts": {"bench " + USER: {"access_token": SECRET, "refresh_token": "rt",
                                             "expires_at": int(time.time()) + 86400,
                                             "scope": "mail"}}}
    with open(os.open(os.path.join(token_dir, "Tarnwick.tokens"), os.O_WRONLY | os.O_CREAT,
                      0o600), "w") as f:
        json.dump(tokens, f)
    with_password = Program(args.build, password_dir, args.wait_minutes, args.rebuild_wait)
    with_token = Program(args.build, token_dir, args.wait_minutes, args.rebuild_wait)
    _, eml = small_message(work)
    send = ["-t", "b@example.com", "-s", "bench", "-m", "body.txt"]
    clients = [Client("tarnwick", [with_password.path] + send, cwd=password_dir),
               Client("tarnwick token", [with_token.path] + send, cwd=token_dir),
               Client("curl -T", ["curl", "-sS", "--user", USER + ":", "--oauth2-bearer", SECRET,
                                  "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com",
                                  "-T", eml, "smtp://127.0.0.1:%d/bench" % port])]
    flags = ["--auth", "%s:%s" % (USER, SECRET), "--accept-auth-in-clear"]
    problems = []
    for name, program, cwd in (("tarnwick", with_password, password_dir),
                               ("tarnwick token", with_token, token_dir)):
        stats = sink_check(lambda p, program=program: [program.path, "-x", "127.0.0.1:%d" % p] +
                           send, flags=flags, cwd=cwd, times=5)
        problems.append(checked(name, stats, 1, 10 * 1024 - 100, 5) or
                        (None if stats.get("auth_ok") == 5 else
                         "%s logged in %s times of 5" % (name, stats.get("auth_ok"))))
    problem = next((p for p in problems if p), None)
    results = paired(clients, args.rounds, with_password)
    details("10 KB message with a login, whole process", results)
    summary([ratio_row("password login", results, "curl -T", 0.8, problem),
             ratio_row("kept OAuth2 token", results, "curl -T", 0.8, problem,
                       program_name="tarnwick token"),
             ratio_row("token against password", results, "tarnwick", 1.1, problem,
                       program_name="tarnwick token")],
            with_password, args.rounds)


if __name__ == "__main__":
    main()
