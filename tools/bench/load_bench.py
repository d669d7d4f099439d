#!/usr/bin/python3
"""Loading benchmark: opens the generated cases with `caldris-case info`
several times and prints, as medians, images per second, the time to the
first image, the whole time and the peak memory of the process, each beside
a baseline program measured in the same run: for CT the straightforward
single-thread program (one read() per file, min/max, 8-bit map into a malloc
kept to the end), for the JPEG cases the codec alone.

usage: load_bench.py [BUILD_DIR]   (default build/release)"""
import json
import os
import statistics
import subprocess
import sys
import tempfile

ROUNDS = 5
MIB = 1024 * 1024


def run_measured(cmd):
    """Runs cmd; returns its standard output and its peak resident memory in bytes."""
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{cmd[0]} failed with {proc.returncode}")
    return out, usage.ru_maxrss * 1024


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__)
        return
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    tool = os.path.join(build, "tools", "caldris-case")
    bench = os.path.join(build, "tools", "bench")
    ct_base = os.path.join(bench, "baseline_ct")
    codec = os.path.join(bench, "baseline_codec")
    with tempfile.TemporaryDirectory() as tmp:
        print("generating cases ...", flush=True)
        run_measured([os.path.join(bench, "make_bench_cases"), tmp])
        # (folder, label, baseline command, baseline name, bytes of one decoded image)
        cases = [("ct", "CT 300 x 512x512 16-bit", [ct_base], "single thread", 512 * 512),
                 ("ct2000", "CT 2000 x 512x512 16-bit", [ct_base], "single thread", 512 * 512),
                 ("mr12", "MR 100 x 512x512 12-bit lossless", [codec, None, "12"], "codec alone", 512 * 512),
                 ("rgb", "RGB 50 x 1024x768 baseline JPEG", [codec, None, "8"], "codec alone", 1024 * 768 * 3)]
        print(f"{'case':34} {'images/s':>9} {'baseline':>9} {'ratio':>6} {'first ms':>9} {'base':>7}"
              f" {'total ms':>9} {'base':>7} {'peak MiB':>9} {'base':>6} {'images MiB':>10}")
        for sub, label, base_cmd, base_name, image_bytes in cases:
            folder = os.path.join(tmp, sub)
            count = len(os.listdir(folder))
            run_measured([tool, "info", folder])  # warm the file cache
            rates, firsts, totals, peaks = [], [], [], []
            for _ in range(ROUNDS):
                out, peak = run_measured([tool, "info", folder])
                info = json.loads(out)
                frames = sum(len(s["frames"]) for s in info["stacks"])
                if frames != count:
                    sys.exit(f"{sub}: {frames} of {count} images loaded")
                total = max(info["total_ms"], 1)
                rates.append(count * 1000.0 / total)
                firsts.append(info["first_image_ms"])
                totals.append(total)
                peaks.append(peak)
            cmd = [folder if c is None else c for c in base_cmd]
            if len(cmd) == 1:
                cmd.append(folder)
            cmd.append(str(ROUNDS))
            out, base_peak = run_measured(cmd)
            base_rate, base_first, base_total = (float(v) for v in out.split())
            rate = statistics.median(rates)
            print(f"{label:34} {rate:9.1f} {base_rate:9.1f} {rate / base_rate:6.2f}"
                  f" {statistics.median(firsts):9.1f} {base_first:7.1f}"
                  f" {statistics.median(totals):9.1f} {base_total:7.1f}"
                  f" {statistics.median(peaks) / MIB:9.1f} {base_peak / MIB:6.1f} {count * image_bytes / MIB:10.1f}"
                  f"   (baseline: {base_name})", flush=True)


if __name__ == "__main__":
    main()
