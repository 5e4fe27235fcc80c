#!/usr/bin/python3
"""A 10 KB message over STARTTLS with AUTH PLAIN on loopback, whole program
(no display) against curl --ssl-reqd, both trusting the same one CA file
(Tarnwick through its CAFile setting, curl through --cacert) and both
logging in with the same user and password; msmtp for reference. The sink
(bench/sink_server.py with --cert and --auth) lists AUTH before STARTTLS
too but takes a login only inside TLS, and refuses MAIL before a login, so
a client that skipped a step, or sent the password in clear text, fails
instead of looking fast. Before the rounds, each client is pointed at a CA
that did not sign the server's certificate and must refuse to send, and
Tarnwick, facing a loopback server with AUTH but no STARTTLS, must keep
the password to itself.
Rounds are paired: every client runs once per round, in turn.
Usage: bench/tls_bench.py [build-dir] [rounds]"""

import os
import shutil
import subprocess
import tempfile

from paired_runs import (Client, Failed, Program, arguments, details, paired, ratio_row, run,
                         sink_check, small_message, summary)
from sink_server import with_sink

USER, PASSWORD = "bench-user", "s3cret-pass"
# The key the program deciphers SMTPPassword with.
CIPHER_KEY = b"plomvaderskiturne"


def rc4(data, key):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out, i, j = bytearray(), 0, 0
    for byte in data:
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) & 0xFF])
    return bytes(out)


def openssl(folder, *args):
    subprocess.run(["openssl", *args], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_certificates(folder):
    """A CA and a leaf for 127.0.0.1 and localhost signed by it; a second CA
    that signed nothing here."""
    for name in ("ca", "other-ca"):
        openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=Tarnwick bench %s" % name, "-keyout", name + ".key",
                "-out", name + ".pem", "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl(folder, "req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
            "-keyout", "leaf.key", "-out", "leaf.csr")
    with open(os.path.join(folder, "leaf.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n")
    openssl(folder, "x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-set_serial", "2", "-days", "2", "-extfile", "leaf.ext", "-out", "leaf.pem")


def main():
    args = arguments(__doc__, 15).parse_args()
    certs = tempfile.mkdtemp(prefix="tarnwick-tls-certs-")
    try:
        make_certificates(certs)
        outcome = {}
        stats = with_sink("tarnwick-tls-", lambda work, port: outcome.update(
            report(args, certs, work, port)),
            ["--cert", os.path.join(certs, "leaf.pem"), "--key", os.path.join(certs, "leaf.key"),
             "--auth", "%s:%s" % (USER, PASSWORD), "--offer-auth-in-clear"])
    finally:
        shutil.rmtree(certs, ignore_errors=True)
    # One connection per send: every message must have come after STARTTLS
    # and a login.
    print("\nsink: %s" % " ".join("%s=%d" % kv for kv in stats.items()))
    problem = None
    unchecked = [n for n in outcome["unchecked"] if n != "msmtp"]
    if unchecked:
        problem = "%s sent to an untrusted server" % " and ".join(unchecked)
    elif stats.get("auth_plaintext"):
        problem = "%d logins tried before STARTTLS" % stats["auth_plaintext"]
    elif stats.get("messages") != stats.get("auth_ok"):
        problem = "%s messages but %s logins" % (stats.get("messages"), stats.get("auth_ok"))
    summary([ratio_row("STARTTLS + AUTH PLAIN", outcome["results"], "curl --ssl-reqd", 1.0,
                       problem)], outcome["program"], args.rounds)


def settings(folder, port, ca):
    shutil.copy(ca, os.path.join(folder, "relay-ca.pem"))
    with open(os.path.join(folder, "Tarnwick.ini"), "w") as f:
        f.write("[Options]\nFrom=a@example.com\nSMTPServer=127.0.0.1:%d\nSMTPUserName=%s\n"
                "SMTPPassword=%s\nCAFile=relay-ca.pem\nTimeOutSecs=10\nTotalAttempts=1\n"
                % (port, USER, rc4(PASSWORD.encode(), CIPHER_KEY).hex().upper()))


def report(args, certs, work, port):
    program = Program(args.build, work, args.wait_minutes, args.rebuild_wait)
    settings(work, port, os.path.join(certs, "ca.pem"))
    text, eml = small_message(work)

    def curl(ca):
        return ["curl", "-sS", "--ssl-reqd", "--cacert", ca, "-u", "%s:%s" % (USER, PASSWORD),
                "--mail-from", "a@example.com", "--mail-rcpt", "b@example.com", "-T", eml,
                "smtp://127.0.0.1:%d/bench" % port]

    def msmtp(ca, name):
        rc = os.path.join(work, name)
        with open(rc, "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %d\nfrom a@example.com\ntls on\n"
                    "tls_starttls on\ntls_trust_file %s\nauth plain\nuser %s\npassword %s\n"
                    % (port, ca, USER, PASSWORD))
        os.chmod(rc, 0o600)  # msmtp will not read a password from a file others can
        return ["msmtp", "-C", rc, "b@example.com"]

    have_msmtp = shutil.which("msmtp") is not None
    unchecked = trust_checks(program, port, certs, curl, msmtp if have_msmtp else None, eml)
    clear_text_check(program, work)

    ca = os.path.join(certs, "ca.pem")
    clients = [Client("tarnwick", [program.path, "-t", "b@example.com", "-s", "bench",
                                   "-m", "body.txt"], cwd=work),
               Client("curl --ssl-reqd", curl(ca))]
    if have_msmtp:
        clients.append(Client("msmtp", msmtp(ca, "msmtprc"), eml))
    results = paired(clients, args.rounds, program)
    details("10 KB message, STARTTLS + AUTH PLAIN, whole process", results)
    return {"results": results, "program": program, "unchecked": unchecked}


def trust_checks(program, port, certs, curl, msmtp, eml):
    """Every client, trusting only a CA that did not sign the server's
    certificate, must refuse: one that skipped the check would be measured
    doing less work. Returns the names of those that sent anyway."""
    other = os.path.join(certs, "other-ca.pem")
    folder = tempfile.mkdtemp(prefix="tarnwick-tls-untrusted-")
    try:
        shutil.copy(program.path, folder)
        settings(folder, port, other)
        checks = [("tarnwick", [os.path.join(folder, "tarnwick"), "-t", "b@example.com", "-s",
                                "untrusted", "-m", "untrusted"], None, folder),
                  ("curl --ssl-reqd", curl(other), None, None)]
        if msmtp:
            checks.append(("msmtp", msmtp(other, "msmtprc-untrusted"), eml, None))
        print("untrusted server certificate (CA file that did not sign it):")
        sent = []
        for name, cmd, stdin, cwd in checks:
            try:
                run(cmd, stdin, cwd=cwd, timeout=60)
                print("  %-16s SENT ANYWAY: its certificate check is not working" % name)
                sent.append(name)
            except Failed as e:
                print("  %-16s refused (%s)" % (name, str(e)[:150]))
        return sent
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def clear_text_check(program, work):
    """A loopback server that lists AUTH but no STARTTLS: the password must
    not go. Prints what the program did."""
    stats = sink_check(lambda p: [program.path, "-x", "127.0.0.1:%d" % p, "-t", "b@example.com",
                                  "-s", "clear", "-m", "body.txt"], cwd=work,
                       flags=["--auth", "%s:%s" % (USER, PASSWORD), "--offer-auth-in-clear"])
    if stats.get("auth_plaintext"):
        print("loopback server without STARTTLS: tarnwick SENT THE PASSWORD IN CLEAR TEXT (%s)"
              % stats.get("error", "")[:150])
    else:
        print("loopback server without STARTTLS: tarnwick kept the password (%s)"
              % stats.get("error", "it sent without logging in")[:150])


if __name__ == "__main__":
    main()
