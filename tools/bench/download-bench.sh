#!/usr/bin/env bash
# Builds the release tree and runs the download benchmark (needs lftp).
#   download-bench.sh [ROUNDS]            loopback: the worker beside lftp --parallel=1
#   download-bench.sh --wide [OPTIONS]    through a delaying proxy: the worker with 1 and 4
#                                         connections beside lftp --parallel=1 and 4
#                                         (options: wide_area_bench.py --help; e.g.
#                                         --cases ct300,ct2000 --clients worker4,view4 to time
#                                         viewing a case while it downloads)
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: download-bench.sh [ROUNDS]  (builds build/release, downloads one case beside lftp)"; exit 0 ;; esac
cd "$(dirname "$0")/../.."
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCALDRIS_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build/release -j "$(nproc)" --target fetch_bench view_bench make_bench_cases
if [[ "${1:-}" == "--wide" ]]; then
  shift
  exec /usr/bin/python3 tools/bench/wide_area_bench.py build/release "$@"
fi
exec /usr/bin/python3 tools/bench/download_bench.py build/release "$@"
