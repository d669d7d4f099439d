#!/usr/bin/python3
"""Demo case server: serves a case tree read-only over FTP on 127.0.0.1 to
one demo account, and writes the settings file that points the viewer at it.

usage: demo_server.py --root TREE --ini FILE [--user demo] [--password caldris] [--port 0]

TREE holds the case root folder "referring" (tools/demo/make_demo_cases
writes one). Port 0 picks a free port, as does a port that is taken. Once
the server listens it writes FILE
and prints "PORT <n>"; it ends on SIGTERM or Ctrl+C.
"""
import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

CASE_ROOT = "/referring"


def settings_text(port, user):
    # No password is remembered: the login dialog asks for it.
    return ("[FTP]\nHost=127.0.0.1\nPort=%d\nPassive=1\nUser=%s\nRoot=%s\n\n[Users]\n%s=\n"
            % (port, user, CASE_ROOT, user))


def main():
    p = argparse.ArgumentParser(description="Demo case server")
    p.add_argument("--root", required=True, help="folder that holds %s" % CASE_ROOT.strip("/"))
    p.add_argument("--ini", required=True, help="settings file to write")
    p.add_argument("--user", default="demo")
    p.add_argument("--password", default="caldris")
    p.add_argument("--port", type=int, default=0)
    a = p.parse_args()

    root = os.path.abspath(a.root)
    if not os.path.isdir(os.path.join(root, CASE_ROOT.strip("/"))):
        sys.exit("demo_server: %s has no %s folder" % (root, CASE_ROOT.strip("/")))
    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, root, perm="elr")  # list and read only
    FTPHandler.authorizer = auth
    FTPHandler.banner = "Caldris demo case server ready."
    FTPHandler.permit_foreign_addresses = False
    try:
        server = ThreadedFTPServer(("127.0.0.1", a.port), FTPHandler)
    except OSError:
        if a.port == 0:
            raise
        # The port of the last run is taken: any free one will do.
        server = ThreadedFTPServer(("127.0.0.1", 0), FTPHandler)
    port = server.address[1]

    with open(a.ini, "w", encoding="utf-8") as f:
        f.write(settings_text(port, a.user))
    print("PORT %d" % port, flush=True)

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    logging.basicConfig(level=logging.WARNING)
    sys.exit(main())
