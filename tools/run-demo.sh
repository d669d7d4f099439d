#!/usr/bin/env bash
# Starts the program's main job from a built tree: a demo case server on
# 127.0.0.1 with generated cases, and the viewer pointed at it (user "demo",
# password "caldris"). The server stops when the viewer exits.
#   run-demo.sh BUILD_DIR [viewer arguments...]
set -euo pipefail
case "${1:-}" in -h|--help) echo "usage: run-demo.sh BUILD_DIR [viewer arguments...]"; exit 0 ;; esac
build="${1:?usage: run-demo.sh BUILD_DIR}"
shift || true
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$(cd "$build" && pwd)"
# Debian's own Python, where the packages caldris.sh installs live (a
# python3 of pyenv or conda first on PATH lacks pyftpdlib).
python=/usr/bin/python3

generator="$build/tools/demo/make_demo_cases"
if [ ! -x "$generator" ]; then
  echo "run-demo.sh: $generator is missing; build the tree first (./caldris.sh run)." >&2
  exit 1
fi

viewer() {
  if [ -n "${CALDRIS_DEMO_PROGRAM:-}" ]; then
    # Another program in the viewer's place (the screenshot walk, the tests).
    "$CALDRIS_DEMO_PROGRAM" "$@"
  else
    "$build/app/caldris" "$@"
  fi
}

demo="$build/demo"
mkdir -p "$demo"
# One demo at a time: the first run holds this lock (its viewer inherits it).
# A second run leaves the first one's server, cases and settings alone and
# only starts the viewer, which hands over to the running one and ends.
exec 9>"$demo/run.lock"
if ! flock -n 9; then
  echo "A demo is already running; bringing its viewer forward."
  export CALDRIS_INI="$demo/caldris.ini"
  viewer "$@" 9>&-
  exit 0
fi

# The cases are written once per build of the generator.
tree="$demo/tree"
if [ ! -f "$demo/tree.stamp" ] || [ "$generator" -nt "$demo/tree.stamp" ]; then
  echo "Writing the demo cases into $tree ..."
  rm -rf "$tree" "$tree.new"
  mkdir -p "$tree.new"
  "$generator" "$tree.new"
  mv "$tree.new" "$tree"
  touch "$demo/tree.stamp"
fi

ini="$demo/caldris.ini"
portfile="$demo/server.out"
# The server keeps its port from run to run (unless it is taken), so that a
# remembered password, stored per server and port, is found again.
lastport="$demo/server.port"
previous="$(cat "$lastport" 2>/dev/null || true)"
case "$previous" in ''|*[!0-9]*) previous=0 ;; esac
rm -f "$portfile"
"$python" "$here/demo/demo_server.py" --root "$tree" --ini "$ini" --port "$previous" >"$portfile" 9>&- &
server=$!
stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}
trap stop_server EXIT
trap 'exit 130' INT TERM

port=""
for _ in $(seq 100); do
  port="$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$portfile" 2>/dev/null || true)"
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || { echo "run-demo.sh: the demo server did not start." >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "run-demo.sh: the demo server did not report its port." >&2; exit 1; }
echo "$port" >"$lastport"
export CALDRIS_INI="$ini"
echo "Demo case server on 127.0.0.1:$port (user demo, password caldris); settings in $CALDRIS_INI"

if [ -n "${CALDRIS_DEMO_PROGRAM:-}" ] || [ -x "$build/app/caldris" ]; then
  viewer "$@"
elif [ -x "$build/tools/caldris-case" ]; then
  echo "The viewer is not built yet ($build/app/caldris); loading a demo case without it:"
  if [ $# -gt 0 ]; then
    "$build/tools/caldris-case" "$@"
  else
    "$build/tools/caldris-case" info "$tree/referring/neurology/Ambrose^Helen!P10234/Head CT!2026.11.02/"
  fi
else
  echo "run-demo.sh: neither the viewer nor caldris-case is built in $build." >&2
  exit 1
fi
