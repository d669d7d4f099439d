#!/usr/bin/env bash
# Builds the release tree and runs the listing benchmark (needs lftp): the
# listing worker with "Connections" = 1 and the default, beside lftp find,
# through a delaying proxy (options: list_bench.py --help).
set -euo pipefail
case "${1:-}" in -h|--help) exec python3 "$(dirname "$0")/list_bench.py" --help ;; esac
cd "$(dirname "$0")/../.."
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCALDRIS_TESTS=OFF "${launcher[@]}" >/dev/null
nice cmake --build build/release -j 2 --target list_bench
exec python3 tools/bench/list_bench.py build/release "$@"
