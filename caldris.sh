#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./caldris.sh run    install what is missing, build a release build and start the program
#   ./caldris.sh test   install what is missing, build with the sanitizers and run every test,
#                       then run every fuzz harness briefly (tools/fuzz/run.sh)
#   ./caldris.sh package  install what is missing, build the Debian package and check it
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

# The one list of Debian packages the project needs, to build, to test and to run.
PACKAGES=(
  build-essential dpkg-dev cmake ninja-build pkg-config
  qt6-base-dev qt6-pdf-dev
  libjpeg62-turbo-dev libgdcm-dev libtiff-dev zlib1g-dev libcurl4-openssl-dev
  googletest libgtest-dev
  qtkeychain-qt6-dev libsecret-1-0
  clang clang-14 libclang-rt-14-dev
  python3 python3-pyftpdlib python3-openssl openssl vsftpd
  libtiff-tools fonts-dejavu-core xvfb xauth lftp
  dbus gnome-keyring
  desktop-file-utils appstream lintian man-db
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

jobs() { nproc 2>/dev/null || echo 2; }

build() { # folder, build type, extra cmake arguments... [-- targets...]
  local dir="$1" type="$2"; shift 2
  local args=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=(--target "$@")
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${args[@]}" >/dev/null
  cmake --build "$dir" -j "$(jobs)" "${targets[@]}"
}

case "${1:-}" in
  run)
    shift
    install_packages
    # The viewer, the headless tool and the demo case generator; not the benchmarks.
    build build/release Release -DCALDRIS_TESTS=OFF -- caldris caldris-case make_demo_cases
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
  package)
    install_packages
    # A release tree of the installed programs only (no tests, benchmarks or
    # other tools), installed by CPack into a Debian package.
    # Debian's hardening flags (stack protector, _FORTIFY_SOURCE=2, RELRO with
    # BIND_NOW, PIE): these programs parse files and replies from the network.
    # CMake does not read CPPFLAGS, so they go with the compiler flags.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cppflags="$(dpkg-buildflags --get CPPFLAGS)"
    build build/package Release -DCALDRIS_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
      -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
      -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -- caldris caldris-case package_files
    (cd build/package && cpack -G DEB >/dev/null)
    packaging/check-package.sh build/package/caldris_*_amd64.deb
    ;;
  *)
    echo "usage: $0 run|test|package"
    exit 2
    ;;
esac
