#!/usr/bin/env python3
"""Loading benchmark: opens the three generated cases with `caldris-case info`
several times and prints images per second and the time to the first image
(medians), each beside a baseline measured in the same run.

usage: load_bench.py [BUILD_DIR]   (default build/release)"""
import json
import os
import statistics
import subprocess
import sys
import tempfile

ROUNDS = 5


def run(cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__)
        return
    build = sys.argv[1] if len(sys.argv) > 1 else "build/release"
    tool = os.path.join(build, "tools", "caldris-case")
    bench = os.path.join(build, "tools", "bench")
    with tempfile.TemporaryDirectory() as tmp:
        print("generating cases ...", flush=True)
        run([os.path.join(bench, "make_bench_cases"), tmp])
        cases = [("ct", "CT 300 x 512x512 16-bit", [os.path.join(bench, "baseline_ct")], "read-and-map"),
                 ("mr12", "MR 100 x 512x512 12-bit lossless", [os.path.join(bench, "baseline_codec"), None, "12"], "codec alone"),
                 ("rgb", "RGB 50 x 1024x768 baseline JPEG", [os.path.join(bench, "baseline_codec"), None, "8"], "codec alone")]
        print(f"{'case':34} {'images/s':>9} {'baseline':>9} {'ratio':>6} {'first ms':>9} {'total ms':>9} {'first/total':>11}")
        for sub, label, base_cmd, base_name in cases:
            folder = os.path.join(tmp, sub)
            count = len(os.listdir(folder))
            run([tool, "info", folder])  # warm the file cache
            rates, firsts, totals = [], [], []
            for _ in range(ROUNDS):
                info = json.loads(run([tool, "info", folder]))
                frames = sum(len(s["frames"]) for s in info["stacks"])
                if frames != count:
                    sys.exit(f"{sub}: {frames} of {count} images loaded")
                total = max(info["total_ms"], 1)
                rates.append(count * 1000.0 / total)
                firsts.append(info["first_image_ms"])
                totals.append(total)
            cmd = [folder if c is None else c for c in base_cmd]
            if len(cmd) == 1:
                cmd.append(folder)
            cmd.append(str(ROUNDS))
            baseline = float(run(cmd))
            rate = statistics.median(rates)
            first = statistics.median(firsts)
            total = statistics.median(totals)
            print(f"{label:34} {rate:9.1f} {baseline:9.1f} {rate / baseline:6.2f} {first:9.1f} {total:9.1f} {first / total:11.3f}"
                  f"   (baseline: {base_name})", flush=True)


if __name__ == "__main__":
    main()
