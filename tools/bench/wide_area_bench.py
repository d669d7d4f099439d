#!/usr/bin/python3
"""Wide-area download benchmark: the download worker beside lftp, through a
proxy (delay_proxy.py) that adds a one-way delay to every chunk on the
control and data connections of a local FTP server.

usage: wide_area_bench.py BUILD_DIR [--delays MS,...] [--cases CASE,...]
                          [--clients NAME,...] [--rounds N]

Defaults: delays 0,5,25 ms one way; cases 300x512K and 20x8M (COUNTxSIZE:
files of random bytes; ct300 and ct2000: CT cases of 512 x 512 DICOM images
from make_bench_cases); clients worker1, worker4 (fetch_bench with
"Connections" = 1 and 4 in section "FTP" of its settings file), lftp1 and
lftp4 (lftp mirror --parallel=1 and 4); one round. The client view4
(view_bench, four connections) views the case while it downloads: its first
image and whole-case times go in a table of their own, beside worker4. Each client fetches into a fresh folder; a run that does not
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
    "view4": "view while downloading, 4",
}
# The DICOM cases of make_bench_cases, by the name of their folder there.
CT_CASES = {"ct300": "ct", "ct2000": "ct2000"}
# The worker with its default settings against the lftp run it should match:
# on loopback one connection, over a delay four.
TARGETS = (("worker4", "lftp1", lambda delay: delay == 0), ("worker4", "lftp4", lambda delay: delay > 0))


def parse_size(text):
    units = {"K": 1024, "M": 1024 * 1024}
    return int(text[:-1]) * units[text[-1].upper()] if text[-1].upper() in units else int(text)


def parse_cases(text):
    """Each case as (label, count, size): size is None for a CT case."""
    cases = []
    for item in text.split(","):
        if item in CT_CASES:
            cases.append((item, int(item[2:]), None))
            continue
        count, size = item.lower().split("x")
        cases.append((item, int(count), parse_size(size)))
    return cases


def make_ct_cases(build, scratch, srv_root, cases):
    """Moves the CT cases asked for from make_bench_cases' output to the server."""
    wanted = [(label, count) for label, count, size in cases if size is None]
    if not wanted:
        return {}
    out = os.path.join(scratch, "gen")
    subprocess.run([os.path.join(build, "tools", "bench", "make_bench_cases"), out], check=True,
                   stdout=subprocess.DEVNULL)
    studies = {}
    for label, count in wanted:
        study = "View%s" % label
        folder = os.path.join(srv_root, bench.ROOT.strip("/"), bench.GROUP, bench.PATIENT, study)
        os.makedirs(os.path.dirname(folder), exist_ok=True)
        shutil.move(os.path.join(out, CT_CASES[label]), folder)
        studies[label] = (study, sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)))
    shutil.rmtree(out, ignore_errors=True)
    return studies


def run_view(build, port, scratch, study):
    """view_bench with four connections: (wall, frames, bytes, first image s, all images s)."""
    cache = os.path.join(scratch, "cache")
    shutil.rmtree(cache, ignore_errors=True)
    os.makedirs(cache)
    ini = os.path.join(scratch, "CALDRIS.INI")
    with open(ini, "w", encoding="utf-8") as f:
        f.write("[FTP]\nConnections=4\n")
    env = dict(os.environ, TMPDIR=cache, XDG_CACHE_HOME=cache, CALDRIS_INI=ini)
    key = "\\".join([bench.GROUP, bench.PATIENT, study])
    t0 = time.perf_counter()
    out = subprocess.run([os.path.join(build, "tools", "bench", "view_bench"), str(port), bench.USER,
                          bench.PASSWORD, bench.ROOT, key], env=env, check=True, capture_output=True, text=True,
                         timeout=bench.RUN_TIMEOUT).stdout
    wall = time.perf_counter() - t0
    first, last, frames, _ = out.split("\n", 1)[0].split()
    folder = os.path.join(cache, "caldris", bench.USER, bench.GROUP, bench.PATIENT, study)
    _, size = bench.folder_stats(folder)
    return wall, int(frames), size, float(first), float(last)


def start_proxy(server_port, delay_ms, log):
    proc = subprocess.Popen([sys.executable, PROXY, "--upstream-port", str(server_port),
                             "--delay-ms", str(delay_ms), "--log", log], stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline().split()
    if len(line) != 2 or line[0] != "PORT":
        proc.kill()
        raise SystemExit("the delay proxy did not start")
    return proc, int(line[1])


def run_client(name, build, port, scratch, study):
    if name == "view4":
        return run_view(build, port, scratch, study)
    if name.startswith("worker"):
        settings = "[FTP]\nConnections=%s\n" % name[len("worker"):]
        return bench.run_fetch(build, port, scratch, study, settings)
    return bench.run_lftp(port, scratch, study, int(name[len("lftp"):]))


def size_text(size):
    if size is None:
        return "CT"
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
        expected = {}  # study -> bytes
        cts = make_ct_cases(build, scratch, srv_root, cases)
        for label, count, size in cases:
            if size is None:
                study, expected[study] = cts[label]
            else:
                study = "Wide%dx%d" % (count, size)
                bench.make_case(srv_root, count, size, study)
                expected[study] = count * size
            studies.append(study)
        views = {}  # (study, delay) -> [(first image s, all images s)]
        server, server_port = bench.start_server(srv_root, os.path.join(scratch, "server.log"))
        for delay in delays:
            log = os.path.join(scratch, "proxy-%g.log" % delay)
            proxy, port = start_proxy(server_port, delay, log)
            for (label, count, size), study in zip(cases, studies):
                times = {name: [] for name in clients}
                commands = {}
                # Round after round over all clients, so that a change in the
                # machine's load falls on each of them alike.
                for r in range(a.rounds):
                    for name in clients:
                        before = len(bench.log_lines(log))
                        got = run_client(name, build, port, scratch, study)
                        wall, files, size_got = got[:3]
                        if files != count or size_got != expected[study]:
                            raise SystemExit("%s fetched %d files (frames), %d bytes" % (name, files, size_got))
                        if name == "view4":
                            views.setdefault((study, delay), []).append((got[3], got[4], wall))
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
        for (label, count, size), study in zip(cases, studies):
            for delay in delays:
                for name in clients:
                    seconds, per_file, _ = results[(study, delay, name)]
                    print("| %d x %s | %g ms | %s | %.2f | %.1f | %.1f | %.2f |" %
                          (count, size_text(size), delay, CLIENTS[name], seconds, count / seconds,
                           expected[study] / 1e6 / seconds, per_file))
        print()
        for (label, count, size), study in zip(cases, studies):
            for delay in delays:
                for ours, theirs, applies in TARGETS:
                    if applies(delay) and (study, delay, ours) in results and (study, delay, theirs) in results:
                        ratio = results[(study, delay, theirs)][0] / results[(study, delay, ours)][0]
                        print("%d x %s, %g ms: %s / %s speed ratio %.2f (target >= 1.00)" %
                              (count, size_text(size), delay, CLIENTS[ours], CLIENTS[theirs], ratio))
        if views:
            print()
            print("Viewing while downloading (view_bench, 4 connections) beside the download alone (fetch_bench, 4);")
            print("seconds from \"View Case\" on a Remote row, medians of the rounds; the ratio takes both")
            print("programs' whole runs (start to end of the process).")
            print("| case | one way | first image | whole case in the model | view run | download run | ratio |")
            print("|---|---|---|---|---|---|---|")
            for (label, count, size), study in zip(cases, studies):
                for delay in delays:
                    if (study, delay) not in views:
                        continue
                    first = statistics.median(v[0] for v in views[(study, delay)])
                    whole = statistics.median(v[1] for v in views[(study, delay)])
                    run = statistics.median(v[2] for v in views[(study, delay)])
                    alone = results.get((study, delay, "worker4"), (float("nan"),))[0]
                    print("| %d x %s | %g ms | %.2f | %.2f | %.2f | %.2f | %.2f |" %
                          (count, size_text(size), delay, first, whole, run, alone, run / alone))
        print()
        print("commands of the first round, per client and case (%g ms):" % delays[0])
        for (label, count, size), study in zip(cases, studies):
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
