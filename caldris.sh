#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./caldris.sh run    install what is missing, build a release build and start the program
#   ./caldris.sh test   install what is missing, build with the sanitizers and run every test,
#                       then run every fuzz harness briefly (tools/fuzz/run.sh)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

# The one list of Debian packages the project needs, to build, to test and to run.
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-pdf-dev
  libjpeg62-turbo-dev libgdcm-dev libtiff-dev zlib1g-dev libcurl4-openssl-dev
  googletest libgtest-dev
  clang clang-14 libclang-rt-14-dev
  python3 python3-pyftpdlib python3-openssl openssl
  libtiff-tools fonts-dejavu-core xvfb xauth lftp
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  elif command -v sudo >/dev/null 2>&1; then
    sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  else
    echo "Please install the missing packages first, as root:"
    echo "  apt-get install -y ${missing[*]}"
    exit 1
  fi
}

# The machine-wide settings folder, writable by the workstation's users.
settings_folder() {
  [ -d /var/lib/caldris ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    mkdir -p -m 0777 /var/lib/caldris
  elif command -v sudo >/dev/null 2>&1; then
    sudo mkdir -p -m 0777 /var/lib/caldris || true
  fi
}

jobs() { nproc 2>/dev/null || echo 2; }

build() { # folder, build type, extra cmake arguments...
  local dir="$1" type="$2"; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -j "$(jobs)"
}

case "${1:-}" in
  run)
    shift
    install_packages
    settings_folder
    build build/release Release -DCALDRIS_TESTS=OFF
    exec tools/run-demo.sh build/release "$@"
    ;;
  test)
    install_packages
    build build/test RelWithDebInfo -DCALDRIS_SANITIZE=ON
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    (cd build/test && ctest --output-on-failure -j "$(jobs)")
    # Every fuzz harness for 30 s from its seeds, in a clang build of its own.
    tools/fuzz/run.sh all 30
    ;;
  *)
    echo "usage: $0 run|test"
    exit 2
    ;;
esac
