#!/usr/bin/env bash
# Starts the program's main job from a built tree: the viewer on the demo case
# server once it exists; until then the headless tools.
set -euo pipefail
build="${1:?usage: run-demo.sh BUILD_DIR}"
shift || true
if [ -x "$build/app/caldris" ]; then
  exec "$build/app/caldris" "$@"
elif [ -x "$build/tools/caldris-case" ]; then
  exec "$build/tools/caldris-case" "$@"
else
  echo "Measuring the DICOM header walk on generated files:"
  exec "$build/tools/bench/dicom_walk_bench" 300
fi
