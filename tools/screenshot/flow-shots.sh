#!/usr/bin/env bash
# Screenshots of the way a new user goes on the demo case server: login,
# the download manager during a download, the case in the viewer.
#   tools/screenshot/flow-shots.sh BUILD_DIR OUT_DIR
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: flow-shots.sh BUILD_DIR OUT_DIR"; exit 0 ;; esac
build="$(cd "${1:?usage: flow-shots.sh BUILD_DIR OUT_DIR}" && pwd)"
out="${2:?usage: flow-shots.sh BUILD_DIR OUT_DIR}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QT_QPA_PLATFORM=xcb
# A cache of its own, so that the cases download as they would the first time.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export XDG_CACHE_HOME="$scratch/cache"
# run-demo.sh starts the demo server and then the given program in place of the viewer.
CALDRIS_DEMO_PROGRAM="$build/tools/screenshot/caldris-flow-shots" \
  xvfb-run -a -s "-screen 0 1280x800x24" "$here/run-demo.sh" "$build" "$out"
