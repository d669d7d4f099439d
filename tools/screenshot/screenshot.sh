#!/usr/bin/env bash
# Saves screenshots of the viewer (splash, main window with a series, PDF
# report, help) from a virtual X server:
#   tools/screenshot/screenshot.sh BUILD_DIR OUT_DIR [CASE_FOLDER]
# Without a case folder a demonstration case is generated.
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: screenshot.sh BUILD_DIR OUT_DIR [CASE_FOLDER]"; exit 0 ;; esac
build="${1:?usage: screenshot.sh BUILD_DIR OUT_DIR [CASE_FOLDER]}"
out="${2:?usage: screenshot.sh BUILD_DIR OUT_DIR [CASE_FOLDER]}"
shift 2
shots="$build/tools/screenshot/caldris-shots"
if [ ! -x "$shots" ]; then
  echo "missing $shots: build the viewer first (cmake --build $build)" >&2
  exit 1
fi
mkdir -p "$out"
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1280x800x24" "$shots" "$out" "$@"
