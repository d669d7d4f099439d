#!/usr/bin/env bash
# Builds the release tree and runs the download benchmark (needs lftp).
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: download-bench.sh [ROUNDS]  (builds build/release, downloads one case beside lftp)"; exit 0 ;; esac
cd "$(dirname "$0")/../.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCALDRIS_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)" --target fetch_bench
exec python3 tools/bench/download_bench.py build/release "$@"
