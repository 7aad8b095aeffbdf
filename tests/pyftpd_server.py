#!/usr/bin/env python3
"""Runs Debian's pyftpdlib on 127.0.0.1 for the integration tests.

Prints the port it listens on as the first line of stdout, then serves until
stdin closes (the test ended, or died) or the lifetime runs out. The user
("tester", password "t3st-only") and its home folder are throwaway ones;
nothing outside a temporary folder is touched.
With --tls-cert and --tls-key it speaks explicit FTPS (AUTH TLS, through
python3-openssl) and refuses a login that did not start TLS first.
"""
import argparse
import logging
import shutil
import sys
import tempfile
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--idle-timeout", type=float, default=300.0)
    parser.add_argument("--max-lifetime", type=float, default=120.0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()

    home = tempfile.mkdtemp(prefix="korvastel-pyftpd-")
    try:
        authorizer = DummyAuthorizer()
        authorizer.add_user("tester", "t3st-only", home, perm="elr")
        base = FTPHandler
        if args.tls_cert:
            from pyftpdlib.handlers import TLS_FTPHandler

            base = TLS_FTPHandler
        handler = type("Handler", (base,), {})
        if args.tls_cert:
            handler.certfile = args.tls_cert
            handler.keyfile = args.tls_key
            handler.tls_control_required = True
        handler.authorizer = authorizer
        handler.timeout = args.idle_timeout
        handler.auth_failed_timeout = 0.1  # a refused login need not stall the tests
        handler.banner = "pyftpdlib ready for korvastel tests."
        server = FTPServer(("127.0.0.1", 0), handler)

        done = threading.Event()

        def watch_stdin():
            sys.stdin.read()
            done.set()

        threading.Thread(target=watch_stdin, daemon=True).start()
        print(server.address[1], flush=True)

        deadline = time.monotonic() + args.max_lifetime
        while not done.is_set() and time.monotonic() < deadline:
            server.serve_forever(timeout=0.1, blocking=False)
        server.close_all()
    finally:
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    # Only trouble goes to stderr; the tests read the wire, not the log.
    logging.basicConfig(level=logging.ERROR)
    main()
