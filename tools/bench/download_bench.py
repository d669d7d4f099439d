#!/usr/bin/python3
"""Download benchmark: the download worker (fetch_bench) beside lftp mirroring
the same case folder over one passive connection, on a local FTP server.

usage: download_bench.py BUILD_DIR [ROUNDS]

Serves a case of 300 files of 512 KiB, runs both clients ROUNDS times in turn
(fresh target folder every round), and prints the medians of files per second
and MB/s, the ratio of the two, and the FTP commands each client sent per file
(counted in the server's command log).
"""
import collections
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FILES = 300
FILE_SIZE = 512 * 1024
USER, PASSWORD = "bench", "bench"
ROOT = "/referring"
GROUP, PATIENT, STUDY = "bench", "Bench^Case!1", "Download!2026.12.08"
HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "..", "tests", "support", "ftp_server.py")
RUN_TIMEOUT = 900  # seconds; a client that hangs ends the benchmark


def make_case(srv_root, files=FILES, size=FILE_SIZE, study=STUDY):
    folder = os.path.join(srv_root, ROOT.strip("/"), GROUP, PATIENT, study)
    os.makedirs(folder)
    for i in range(files):
        with open(os.path.join(folder, "IM%04d.dcm" % i), "wb") as f:
            f.write(os.urandom(size))
    return folder


def start_server(srv_root, log):
    proc = subprocess.Popen(["/usr/bin/python3", SERVER, "--root", srv_root,
                             "--user", "%s:%s" % (USER, PASSWORD), "--log", log],
                            stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline().split()
    if len(line) != 2 or line[0] != "PORT":
        proc.kill()
        raise SystemExit("the FTP server did not start")
    return proc, int(line[1])


def log_lines(log):
    try:
        with open(log, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def folder_stats(folder):
    files = [n for n in os.listdir(folder) if n != "Incomplete"]
    return len(files), sum(os.path.getsize(os.path.join(folder, n)) for n in files)


def run_fetch(build, port, scratch, study=STUDY, settings=None):
    """settings: text of a settings file that the worker reads (CALDRIS_INI)."""
    cache = os.path.join(scratch, "cache")
    shutil.rmtree(cache, ignore_errors=True)
    os.makedirs(cache)
    env = dict(os.environ, TMPDIR=cache, XDG_CACHE_HOME=cache, QT_QPA_PLATFORM="offscreen")
    if settings is not None:
        ini = os.path.join(scratch, "CALDRIS.INI")
        with open(ini, "w", encoding="utf-8") as f:
            f.write(settings)
        env["CALDRIS_INI"] = ini
    key = "\\".join([GROUP, PATIENT, study])
    t0 = time.perf_counter()
    out = subprocess.run([os.path.join(build, "tools", "bench", "fetch_bench"), str(port), USER, PASSWORD,
                          ROOT, key], env=env, check=True, capture_output=True, text=True,
                         timeout=RUN_TIMEOUT).stdout
    wall = time.perf_counter() - t0
    _, files, size = out.split("\n", 1)[0].split()
    return wall, int(files), int(size)


def run_lftp(port, scratch, study=STUDY, parallel=1):
    target = os.path.join(scratch, "mirror")
    shutil.rmtree(target, ignore_errors=True)
    remote = "/".join([ROOT, GROUP, PATIENT, study])
    script = ("set ftp:passive-mode on; set ftp:ssl-allow no; set net:max-retries 1; "
              "mirror --parallel=%d '%s' '%s'; quit" % (parallel, remote, target))
    t0 = time.perf_counter()
    subprocess.run(["lftp", "-u", "%s,%s" % (USER, PASSWORD), "-p", str(port), "-e", script, "127.0.0.1"],
                   check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
    wall = time.perf_counter() - t0
    files, size = folder_stats(target)
    return wall, files, size


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) == 3 else 5
    scratch = tempfile.mkdtemp(prefix="caldris-download-bench-")
    server = None
    try:
        srv_root = os.path.join(scratch, "srv")
        make_case(srv_root)
        log = os.path.join(scratch, "commands.log")
        server, port = start_server(srv_root, log)
        times = {"fetch": [], "lftp": []}
        commands = {"fetch": collections.Counter(), "lftp": collections.Counter()}
        runs = {"fetch": lambda: run_fetch(build, port, scratch), "lftp": lambda: run_lftp(port, scratch)}
        for r in range(rounds):
            for name in ("fetch", "lftp"):
                before = len(log_lines(log))
                wall, files, size = runs[name]()
                if files != FILES or size != FILES * FILE_SIZE:
                    raise SystemExit("%s fetched %d files, %d bytes" % (name, files, size))
                time.sleep(0.2)  # the server's log write of the last QUIT
                sent = log_lines(log)[before:]
                if r == 0:
                    commands[name] = collections.Counter(line.split(" ", 1)[0].upper() for line in sent)
                times[name].append(wall)
                print("round %d %-5s %.3f s" % (r + 1, name, wall), flush=True)
        mb = FILES * FILE_SIZE / 1e6
        print()
        print("%d files of %d KiB, %d rounds, medians (wall clock, process start to end):" %
              (FILES, FILE_SIZE // 1024, rounds))
        med = {}
        for name, label in (("fetch", "download worker"), ("lftp", "lftp mirror --parallel=1")):
            med[name] = statistics.median(times[name])
            total = sum(commands[name].values())
            print("  %-26s %6.3f s  %7.1f files/s  %7.1f MB/s  %5.2f commands/file" %
                  (label, med[name], FILES / med[name], mb / med[name], total / FILES))
            print("  %-26s %s" % ("", " ".join("%s=%d" % kv for kv in sorted(commands[name].items()))))
        print("  ratio (worker / lftp, files per second): %.2f (target >= 0.70)" % (med["lftp"] / med["fetch"]))
    finally:
        if server:
            server.terminate()
            server.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
