#!/usr/bin/env bash
# Builds the release tree and runs the loading benchmark.
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: load-bench.sh  (builds build/release, times opening cases beside two baselines)"; exit 0 ;; esac
cd "$(dirname "$0")/../.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCALDRIS_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target caldris-case make_bench_cases baseline_ct baseline_codec
exec /usr/bin/python3 tools/bench/load_bench.py build/release
