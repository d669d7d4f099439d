#!/usr/bin/python3
"""Wide-area download benchmark: the download worker beside lftp, through a
proxy (delay_proxy.py) that adds a one-way delay to every chunk on the
control and data connections of a local FTP server.

usage: wide_area_bench.py BUILD_DIR [--delays MS,...] [--cases COUNTxSIZE,...]
                          [--clients NAME,...] [--rounds N]

Defaults: delays 0,5,25 ms one way; cases 300x512K and 20x8M; clients
worker1, worker4 (fetch_bench with "Connections" = 1 and 4 in section "FTP"
of its settings file), lftp1 and lftp4 (lftp mirror --parallel=1 and 4);
one round. Each client fetches into a fresh folder; a run that does not
bring every byte ends the benchmark. Times are wall clock from process
start to end (medians over the rounds); commands per file count every
command the proxy saw on the control connections of the run.
"""
import argparse
import collections
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import download_bench as bench

PROXY = os.path.join(bench.HERE, "delay_proxy.py")
CLIENTS = {
    "worker1": "worker, Connections=1",
    "worker4": "worker, Connections=4",
    "lftp1": "lftp mirror --parallel=1",
    "lftp4": "lftp mirror --parallel=4",
}
# The worker with its default settings against the lftp run it should match:
# on loopback one connection, over a delay four.
TARGETS = (("worker4", "lftp1", lambda delay: delay == 0), ("worker4", "lftp4", lambda delay: delay > 0))


def parse_size(text):
    units = {"K": 1024, "M": 1024 * 1024}
    return int(text[:-1]) * units[text[-1].upper()] if text[-1].upper() in units else int(text)


def parse_cases(text):
    cases = []
    for item in text.split(","):
        count, size = item.lower().split("x")
        cases.append((int(count), parse_size(size)))
    return cases


def start_proxy(server_port, delay_ms, log):
    proc = subprocess.Popen([sys.executable, PROXY, "--upstream-port", str(server_port),
                             "--delay-ms", str(delay_ms), "--log", log], stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline().split()
    if len(line) != 2 or line[0] != "PORT":
        proc.kill()
        raise SystemExit("the delay proxy did not start")
    return proc, int(line[1])


def run_client(name, build, port, scratch, study):
    if name.startswith("worker"):
        settings = "[FTP]\nConnections=%s\n" % name[len("worker"):]
        return bench.run_fetch(build, port, scratch, study, settings)
    return bench.run_lftp(port, scratch, study, int(name[len("lftp"):]))


def size_text(size):
    return "%d MiB" % (size // (1024 * 1024)) if size % (1024 * 1024) == 0 else "%d KiB" % (size // 1024)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("build")
    p.add_argument("--delays", default="0,5,25", help="one-way delays in ms, comma-separated")
    p.add_argument("--cases", default="300x512K,20x8M", help="COUNTxSIZE, comma-separated")
    p.add_argument("--clients", default=",".join(CLIENTS), help="of " + ", ".join(CLIENTS))
    p.add_argument("--rounds", type=int, default=1)
    a = p.parse_args()
    build = os.path.abspath(a.build)
    delays = [float(d) for d in a.delays.split(",")]
    cases = parse_cases(a.cases)
    clients = a.clients.split(",")
    for c in clients:
        if c not in CLIENTS:
            raise SystemExit("unknown client %s" % c)

    scratch = tempfile.mkdtemp(prefix="caldris-wide-bench-")
    server = proxy = None
    results = {}  # (case, delay, client) -> (median seconds, commands per file)
    try:
        srv_root = os.path.join(scratch, "srv")
        studies = []
        for count, size in cases:
            study = "Wide%dx%d" % (count, size)
            bench.make_case(srv_root, count, size, study)
            studies.append(study)
        server, server_port = bench.start_server(srv_root, os.path.join(scratch, "server.log"))
        for delay in delays:
            log = os.path.join(scratch, "proxy-%g.log" % delay)
            proxy, port = start_proxy(server_port, delay, log)
            for (count, size), study in zip(cases, studies):
                times = {name: [] for name in clients}
                commands = {}
                # Round after round over all clients, so that a change in the
                # machine's load falls on each of them alike.
                for r in range(a.rounds):
                    for name in clients:
                        before = len(bench.log_lines(log))
                        wall, files, got = run_client(name, build, port, scratch, study)
                        if files != count or got != count * size:
                            raise SystemExit("%s fetched %d files, %d bytes" % (name, files, got))
                        time.sleep(0.2)  # the proxy's log write of the last QUIT
                        if name not in commands:
                            commands[name] = collections.Counter(
                                line.split(" ", 1)[0].upper() for line in bench.log_lines(log)[before:])
                        times[name].append(wall)
                for name in clients:
                    results[(study, delay, name)] = (statistics.median(times[name]),
                                                     sum(commands[name].values()) / count, commands[name])
                    print("%4d x %-7s %4g ms  %-26s %8.3f s" %
                          (count, size_text(size), delay, CLIENTS[name], statistics.median(times[name])), flush=True)
            proxy.terminate()
            proxy.wait()
            proxy = None

        print()
        print("Wide-area download, one-way delay on every chunk of control and data connections;")
        print("wall clock, median of %d round(s); commands per file as the proxy saw them." % a.rounds)
        print("| case | one way | client | seconds | files/s | MB/s | commands/file |")
        print("|---|---|---|---|---|---|---|")
        for (count, size), study in zip(cases, studies):
            for delay in delays:
                for name in clients:
                    seconds, per_file, _ = results[(study, delay, name)]
                    print("| %d x %s | %g ms | %s | %.2f | %.1f | %.1f | %.2f |" %
                          (count, size_text(size), delay, CLIENTS[name], seconds, count / seconds,
                           count * size / 1e6 / seconds, per_file))
        print()
        for (count, size), study in zip(cases, studies):
            for delay in delays:
                for ours, theirs, applies in TARGETS:
                    if applies(delay) and (study, delay, ours) in results and (study, delay, theirs) in results:
                        ratio = results[(study, delay, theirs)][0] / results[(study, delay, ours)][0]
                        print("%d x %s, %g ms: %s / %s speed ratio %.2f (target >= 1.00)" %
                              (count, size_text(size), delay, CLIENTS[ours], CLIENTS[theirs], ratio))
        print()
        print("commands of the first round, per client and case (%g ms):" % delays[0])
        for (count, size), study in zip(cases, studies):
            for name in clients:
                key = (study, delays[0], name)
                if key in results:
                    print("  %d x %s %-26s %s" % (count, size_text(size), CLIENTS[name],
                                                  " ".join("%s=%d" % kv for kv in sorted(results[key][2].items()))))
    finally:
        for proc in (proxy, server):
            if proc:
                proc.terminate()
                proc.wait()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
