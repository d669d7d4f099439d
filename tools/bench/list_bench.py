#!/usr/bin/env python3
"""Wide-area listing benchmark: the listing worker (list_bench) beside
lftp -e "find ROOT", through the delay proxy (delay_proxy.py) in front of a
local FTP server serving catalogue trees of GROUPS x PATIENTS patient
folders (every other patient has two studies, the rest one).

usage: list_bench.py BUILD_DIR [--delays MS,...] [--trees GxP,...] [--rounds N]
                     [--clients NAME,...]

Defaults: delays 0,5,25 ms one way; trees 5x40 and 10x100; one round;
clients worker1 ("Connections" = 1 in section "FTP" of its settings file),
worker (the default settings), lftp (find over one connection). Each worker
run starts with an empty cache, so no saved catalogue; after them the
default worker runs once more on the cache its first run left, and its time
to the first row (from the saved catalogue) is reported. A run that does not
find every study ends the benchmark. Times are wall clock, medians.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import download_bench as bench
import wide_area_bench as wide

CLIENTS = {
    "worker1": "worker, Connections=1",
    "worker": "worker, default (4)",
    "lftp": "lftp find",
}


def make_tree(srv_root, groups, patients):
    studies = 0
    for g in range(groups):
        for p in range(patients):
            for s in range(1 + p % 2):
                os.makedirs(os.path.join(srv_root, bench.ROOT.strip("/"), "group%02d" % g,
                                         "Patient^%03d!%d" % (p, p), "CT %d!2026.12.%02d" % (s, 1 + s)))
                studies += 1
    return studies


def run_worker(build, port, cache, settings, fresh=True):
    if fresh:
        shutil.rmtree(cache, ignore_errors=True)
    os.makedirs(cache, exist_ok=True)
    env = dict(os.environ, XDG_CACHE_HOME=cache, TMPDIR=cache, QT_QPA_PLATFORM="offscreen")
    ini = os.path.join(cache, "..", "CALDRIS.INI")
    with open(ini, "w", encoding="utf-8") as f:
        f.write(settings)
    env["CALDRIS_INI"] = ini
    t0 = time.perf_counter()
    out = subprocess.run([os.path.join(build, "tools", "bench", "list_bench"), str(port), bench.USER,
                          bench.PASSWORD, bench.ROOT], env=env, check=True, capture_output=True, text=True,
                         timeout=bench.RUN_TIMEOUT).stdout
    wall = time.perf_counter() - t0
    seconds, rows, first, remembered = out.split("\n", 1)[0].split()
    return wall, int(rows), float(first), int(remembered)


def run_lftp(port):
    script = "set ftp:passive-mode on; set ftp:ssl-allow no; set net:max-retries 1; find %s; quit" % bench.ROOT
    t0 = time.perf_counter()
    out = subprocess.run(["lftp", "-u", "%s,%s" % (bench.USER, bench.PASSWORD), "-p", str(port), "-e", script,
                          "127.0.0.1"], check=True, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                         timeout=bench.RUN_TIMEOUT).stdout
    wall = time.perf_counter() - t0
    # find prints every path, folders with a trailing "/": studies are the fourth level.
    studies = sum(1 for line in out.splitlines() if line.rstrip("/").count("/") == 4)
    return wall, studies


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("build")
    p.add_argument("--delays", default="0,5,25")
    p.add_argument("--trees", default="5x40,10x100")
    p.add_argument("--rounds", type=int, default=1)
    p.add_argument("--clients", default=",".join(CLIENTS))
    a = p.parse_args()
    build = os.path.abspath(a.build)
    delays = [float(d) for d in a.delays.split(",")]
    trees = [tuple(int(n) for n in t.lower().split("x")) for t in a.trees.split(",")]
    clients = a.clients.split(",")
    scratch = tempfile.mkdtemp(prefix="caldris-list-bench-")
    server = proxy = None
    rows = []
    try:
        for groups, patients in trees:
            srv_root = os.path.join(scratch, "srv%dx%d" % (groups, patients))
            studies = make_tree(srv_root, groups, patients)
            server, server_port = bench.start_server(srv_root, os.path.join(scratch, "server.log"))
            for delay in delays:
                proxy, port = wide.start_proxy(server_port, delay, os.path.join(scratch, "proxy.log"))
                times = {name: [] for name in clients}
                cache = os.path.join(scratch, "cache")
                for _ in range(a.rounds):
                    for name in clients:
                        if name == "lftp":
                            wall, found = run_lftp(port)
                        else:
                            settings = "[FTP]\nConnections=1\n" if name == "worker1" else "[FTP]\n"
                            wall, found, _, _ = run_worker(build, port, cache, settings)
                        if found != studies:
                            raise SystemExit("%s found %d of %d studies" % (name, found, studies))
                        times[name].append(wall)
                first = remembered = None
                if "worker" in clients:
                    # The cache of the default worker's last run holds its saved catalogue.
                    _, found, first, remembered = run_worker(build, port, cache, "[FTP]\n", fresh=False)
                medians = {name: statistics.median(t) for name, t in times.items()}
                rows.append((groups, patients, studies, delay, medians, first, remembered))
                print("%d x %d (%d studies), %g ms: %s; first row from the saved list %s s (%s rows)" %
                      (groups, patients, studies, delay,
                       ", ".join("%s %.2f s" % (CLIENTS[n], t) for n, t in medians.items()),
                       "-" if first is None else "%.3f" % first, remembered), flush=True)
                proxy.terminate()
                proxy.wait()
                proxy = None
            server.terminate()
            server.wait()
            server = None
        print()
        print("| tree | one way | " + " | ".join(CLIENTS[n] for n in clients) +
              " | ×1 / default | first row, saved list |")
        print("|---|---|" + "---|" * len(clients) + "---|---|")
        for groups, patients, studies, delay, medians, first, remembered in rows:
            ratio = (medians["worker1"] / medians["worker"]) if "worker1" in medians and "worker" in medians else 0
            print("| %d × %d (%d studies) | %g ms | %s | %.1f | %s |" %
                  (groups, patients, studies, delay, " | ".join("%.2f" % medians[n] for n in clients), ratio,
                   "-" if first is None else "%.3f s (%d rows)" % (first, remembered)))
    finally:
        for proc in (proxy, server):
            if proc:
                proc.terminate()
                proc.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
