#!/usr/bin/env python3
"""FTP server for the remote tests.

Serves one home tree on 127.0.0.1, picks a free port and prints
"PORT <n>" on stdout once it listens. Faults are switched on per run:

  --user NAME:PASSWORD      an account (repeatable); every account shares --root
  --reject-all              every login is answered 530, even a right password
  --deny-cwd PATH           CWD to this server path, or a listing of it, is
                            answered 550 (repeatable)
  --no-size                 SIZE is answered 502
  --no-mlsd                 no MLSD or MLST (nor in FEAT)
  --drop NAME:BYTES         RETR of NAME sends BYTES, then drops the connection
  --stall NAME:BYTES        RETR of NAME sends BYTES, then sends nothing more
  --slow NAME:CHUNK:DELAY   RETR of NAME sends CHUNK bytes every DELAY seconds
  --idle-timeout SECONDS    close a control connection idle this long (421)
  --tls CERT:KEY            explicit TLS required on control and data
                            connections, with this certificate and key
  --masquerade ADDRESS      PASV replies name ADDRESS instead of 127.0.0.1
  --log FILE                append every command received to FILE
  --max-cons-per-ip N       a connection beyond N from one address is
                            answered 421 and closed
  --max-logins N            a login beyond N at once is answered 530
  --silent-quit             QUIT is never answered (the connection stays)
  --hold-logins N           PASS is never answered after the first N logins
  --links FORM              MLSD lists links as proftpd ("symlink", with the
                            link's own length), pure-ftpd ("slink") or
                            proftpd with ShowSymlinks off ("hidden") do
  --many-names PATH:N       a listing of this server path gives N made-up
                            names n0, n1, ... (folders to MLSD)
  --slow-list PATH:DELAY    a listing of this server path sends one name
                            every DELAY seconds
"""
import argparse
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, FileProducer, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import ThreadedFTPServer


class ScriptedProducer(FileProducer):
    """Hands the file out in a scripted way; runs on the connection's own
    thread, so sleeping here holds up this client only."""

    def __init__(self, fd, type_, handler, mode, arg):
        super().__init__(fd, type_)
        self.handler = handler
        self.mode = mode
        self.arg = arg
        self.sent = 0

    def more(self):
        if self.mode == "drop":
            limit = self.arg
            if self.sent >= limit:
                # Both connections go at once, as when the server dies.
                self.handler.close()
                return b""
            data = self.file.read(min(limit - self.sent, 4096))
            self.sent += len(data)
            return data
        if self.mode == "stall":
            limit = self.arg
            if self.sent >= limit:
                while True:
                    time.sleep(3600)
            data = self.file.read(min(limit - self.sent, 4096))
            self.sent += len(data)
            return data
        chunk, delay = self.arg
        if self.sent:
            time.sleep(delay)
        data = self.file.read(chunk)
        self.sent += len(data)
        return data


class LinkListingFS(AbstractedFS):
    link_form = None

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        for line in super().format_mlsx(basedir, listing, perms, facts, ignore_err):
            name = line.rstrip(b"\r\n").split(b" ", 1)[1]
            path = os.path.join(os.fsencode(basedir), name)
            if self.link_form and os.path.islink(path):
                own = os.lstat(path).st_size
                fact = {"symlink": "type=OS.unix=symlink;size=%d;" % own, "hidden": "type=file;size=%d;" % own,
                        "slink": "type=OS.unix=slink:%s;" % os.fsdecode(os.readlink(path))}[self.link_form]
                line = fact.encode() + b" " + name + b"\r\n"
            yield line


class TrickleProducer:
    """Hands out one listing line at a time, DELAY seconds apart."""

    def __init__(self, lines, delay):
        self.lines = lines
        self.delay = delay
        self.sent = 0

    def more(self):
        if not self.lines:
            return b""
        if self.sent:
            time.sleep(self.delay)
        self.sent += 1
        return self.lines.pop(0)


class ScriptedHandler:
    """The faults, mixed into the plain or the TLS handler."""
    auth_failed_timeout = 0
    # Scripted files must pass through the producer, not sendfile().
    use_sendfile = False
    reject_all = False
    deny_cwd = set()
    no_size = False
    scripted = {}
    log_file = None
    log_lock = threading.Lock()
    max_logins = 0
    logins = 0
    silent_quit = False
    hold_logins = 0
    logged_in = 0
    many_names = {}
    slow_list = {}

    def pre_process_command(self, line, cmd, arg):
        if self.log_file:
            with self.log_lock, open(self.log_file, "a", encoding="utf-8",
                                     errors="surrogateescape") as f:
                f.write(line + "\n")
        return super().pre_process_command(line, cmd, arg)

    def ftp_PASS(self, line):
        if self.hold_logins and not self.authenticated:
            with self.log_lock:
                ScriptedHandler.logged_in += 1
                if ScriptedHandler.logged_in > self.hold_logins:
                    return
        if self.reject_all and not self.authenticated:
            self.respond("530 Authentication failed.")
            self.username = ""
            return
        if self.max_logins and not self.authenticated:
            with self.log_lock:
                full = ScriptedHandler.logins >= self.max_logins
                if not full:
                    ScriptedHandler.logins += 1
                    self.counted = True
            if full:
                self.respond("530 Too many users logged in.")
                self.username = ""
                return
        return super().ftp_PASS(line)

    def ftp_QUIT(self, line):
        if self.silent_quit:
            return
        return super().ftp_QUIT(line)

    def close(self):
        with self.log_lock:
            if getattr(self, "counted", False):
                ScriptedHandler.logins -= 1
                self.counted = False
        return super().close()

    def ftp_CWD(self, path):
        if self.fs.fs2ftp(path) in self.deny_cwd:
            self.respond("550 Access denied.")
            return
        try:
            return super().ftp_CWD(path)
        except FileNotFoundError:
            # pyftpdlib enters the folder process-wide and answers before it
            # goes back; a test may remove the folder in between.
            os.chdir(self.fs.root)
            return path

    def scripted_listing(self, path, command):
        """True when a fault answered the listing of path."""
        where = self.fs.fs2ftp(path)
        line = "type=dir; %s\r\n" if command == "MLSD" else "%s\r\n"
        if where in self.deny_cwd:
            self.respond("550 Access denied.")
            return True
        if where in self.many_names:
            names = ("n%d" % i for i in range(self.many_names[where]))
            self.push_dtp_data("".join(line % n for n in names).encode(), cmd=command)
            return True
        if where in self.slow_list:
            lines = [(line % n).encode() for n in sorted(os.listdir(path))]
            producer = TrickleProducer(lines, self.slow_list[where])
            self.push_dtp_data(producer, isproducer=True, cmd=command)
            return True
        return False

    def ftp_NLST(self, path):
        if not self.scripted_listing(path, "NLST"):
            return super().ftp_NLST(path)

    def ftp_MLSD(self, path):
        if not self.scripted_listing(path, "MLSD"):
            return super().ftp_MLSD(path)

    def ftp_SIZE(self, path):
        if self.no_size:
            self.respond("502 Command not implemented.")
            return
        return super().ftp_SIZE(path)

    def ftp_RETR(self, file):
        name = self.fs.fs2ftp(file).rsplit("/", 1)[-1]
        script = self.scripted.get(name)
        if script is None:
            return super().ftp_RETR(file)
        try:
            fd = self.run_as_current_user(self.fs.open, file, "rb")
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        producer = ScriptedProducer(fd, self._current_type, self, *script)
        self.push_dtp_data(producer, isproducer=True, file=fd, cmd="RETR")
        return file


class TestHandler(ScriptedHandler, FTPHandler):
    pass


class TlsDataHandler(TLS_DTPHandler):
    """pyftpdlib takes a data connection that is readable before its
    command as a closed one; a client may well begin the TLS handshake of
    the data connection at once."""

    def readable(self):
        if self._ssl_accepting:
            return True
        return super().readable()


class TlsTestHandler(ScriptedHandler, TLS_FTPHandler):
    tls_control_required = True
    tls_data_required = True
    dtp_handler = TlsDataHandler


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--user", action="append", default=[])
    p.add_argument("--reject-all", action="store_true")
    p.add_argument("--deny-cwd", action="append", default=[])
    p.add_argument("--no-size", action="store_true")
    p.add_argument("--no-mlsd", action="store_true")
    p.add_argument("--drop", action="append", default=[])
    p.add_argument("--stall", action="append", default=[])
    p.add_argument("--slow", action="append", default=[])
    p.add_argument("--idle-timeout", type=float, default=300)
    p.add_argument("--tls")
    p.add_argument("--masquerade")
    p.add_argument("--log")
    p.add_argument("--max-cons-per-ip", type=int, default=0)
    p.add_argument("--max-logins", type=int, default=0)
    p.add_argument("--silent-quit", action="store_true")
    p.add_argument("--hold-logins", type=int, default=0)
    p.add_argument("--links", choices=["symlink", "slink", "hidden"])
    p.add_argument("--many-names", action="append", default=[])
    p.add_argument("--slow-list", action="append", default=[])
    # The greeting's text; backslash escapes ("\\x1b") stand for their bytes.
    p.add_argument("--banner", default="Test server ready.")
    a = p.parse_args()

    handler = TestHandler
    if a.tls:
        handler = TlsTestHandler
        handler.certfile, handler.keyfile = a.tls.split(":", 1)
    if a.no_mlsd:
        handler.proto_cmds = {k: v for k, v in handler.proto_cmds.items() if k not in ("MLSD", "MLST")}
    if a.masquerade:
        handler.masquerade_address = a.masquerade

    auth = DummyAuthorizer()
    for item in a.user:
        name, password = item.split(":", 1)
        auth.add_user(name, password, a.root, perm="elr")

    scripted = {}
    for item in a.drop:
        name, count = item.rsplit(":", 1)
        scripted[name] = ("drop", int(count))
    for item in a.stall:
        name, count = item.rsplit(":", 1)
        scripted[name] = ("stall", int(count))
    for item in a.slow:
        name, chunk, delay = item.rsplit(":", 2)
        scripted[name] = ("slow", (int(chunk), float(delay)))

    handler.authorizer = auth
    handler.reject_all = a.reject_all
    handler.deny_cwd = set(a.deny_cwd)
    handler.no_size = a.no_size
    handler.scripted = scripted
    handler.log_file = a.log
    handler.max_logins = a.max_logins
    handler.silent_quit = a.silent_quit
    handler.hold_logins = a.hold_logins
    LinkListingFS.link_form = a.links
    handler.abstracted_fs = LinkListingFS
    handler.many_names = {k: int(v) for k, v in (i.rsplit(":", 1) for i in a.many_names)}
    handler.slow_list = {k: float(v) for k, v in (i.rsplit(":", 1) for i in a.slow_list)}
    handler.timeout = a.idle_timeout
    handler.banner = a.banner.encode("latin-1").decode("unicode_escape")
    handler.permit_foreign_addresses = False

    server = ThreadedFTPServer(("127.0.0.1", 0), handler)
    server.max_cons_per_ip = a.max_cons_per_ip
    print("PORT %d" % server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    import logging
    logging.basicConfig(level=logging.CRITICAL)
    sys.exit(main())
