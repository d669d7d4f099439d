#!/usr/bin/env bash
# Fuzzes one harness from its seed corpus:
#   tools/fuzz/run.sh TARGET SECONDS [JOBS]
# TARGET: dicom_walk dicom_decode exam_info split_images tiff profile ftp_reply
# mlsd nlst (or "all", one after the other). Builds build/fuzz with clang first (incremental).
# Fails on any crash, leak, sanitizer report, input taking over 5 s or
# allocation over 2 GB; a failing input is copied to tests/fuzz/regressions/TARGET/
# so that the ordinary tests replay it from then on. The corpus grown by a
# campaign stays in build/fuzz/corpus/TARGET for the next one.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$here"

TARGETS=(dicom_walk dicom_decode exam_info split_images tiff profile ftp_reply mlsd nlst)
target="${1:?usage: $0 TARGET SECONDS [JOBS]}"
seconds="${2:?usage: $0 TARGET SECONDS [JOBS]}"
jobs="${3:-1}"
build=build/fuzz
parallel=()
[ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCALDRIS_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 ${CALDRIS_FUZZ_CMAKE_ARGS:-} >/dev/null
fi
if ! cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >"$build/build.log" 2>&1; then
  tail -40 "$build/build.log"
  exit 1
fi

run_one() { # target
  local t="$1"
  local corpus="$build/corpus/$t" artifacts="$build/artifacts/$t/" keep="tests/fuzz/regressions/$t"
  mkdir -p "$corpus" "$artifacts"
  echo "fuzz $t: ${seconds} s"
  local status=0
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" QT_QPA_PLATFORM=offscreen \
    "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
      ${parallel[@]+"${parallel[@]}"} -print_final_stats=1 -artifact_prefix="$artifacts" \
      "$corpus" "$build/fuzz-seeds/$t" 2>"$build/fuzz-$t.log" || status=$?
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$build/fuzz-$t.log" | tail -2 || true
  if [ "$status" -ne 0 ] || ls "$artifacts" | grep -q .; then
    mkdir -p "$keep"
    cp "$artifacts"* "$keep"/ 2>/dev/null || true
    tail -40 "$build/fuzz-$t.log"
    echo "fuzz $t FAILED; inputs kept in $keep"
    return 1
  fi
}

if [ "$target" = all ]; then
  failed=0
  for t in "${TARGETS[@]}"; do run_one "$t" || failed=1; done
  exit "$failed"
fi
run_one "$target"
