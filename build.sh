#!/usr/bin/env bash
# Build, test and run the device programmer.
#   ./build.sh run     build and start the program on the simulated programmer
#   ./build.sh test    build with AddressSanitizer + UBSan and run every test, then
#                      the every-device sweep on the optimised build
#   ./build.sh build   build the release configuration only
#   ./build.sh bench   build and run the benchmarks
#   ./build.sh fuzz    build the libFuzzer targets with clang (build-fuzz/bin);
#                      tools/fuzz/run.sh runs them
set -euo pipefail
cd "$(dirname "$0")"
TOP=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
          libgtest-dev libgmock-dev libbenchmark-dev srecord binutils xvfb xauth openbox clang sdcc gputils
          binutils-m68hc1x avra fonts-dejavu-core fonts-urw-base35)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

configure() { # dir, extra cmake args...
  local dir=$1; shift
  # Warnings are errors in every tree made here (a tree made before the
  # option existed is configured again).
  if [ ! -f "$dir/build.ninja" ] || ! grep -q '^VEXLOR_WERROR:BOOL=ON$' "$dir/CMakeCache.txt" 2>/dev/null; then
    cmake -S "$TOP" -B "$dir" -G Ninja -DVEXLOR_WERROR=ON "$@"
  fi
  # A Qt form header that arrives with a pull is not always seen by the moc
  # step of an existing build tree; its stamps make every build look again.
  rm -f "$dir"/*/*_autogen/timestamp
}

# Line tables only (-g1): enough for stack traces, profiles and the
# sanitizers' reports, and a quarter to a third cheaper to compile than -g.
RELEASE_FLAGS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

build_release() {
  configure build "${RELEASE_FLAGS[@]}"
  cmake --build build -j "$JOBS"
}

build_sanitized() {
  # -O1 keeps the sanitizers' reports exact and the simulator runs fast enough.
  configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DVEXLOR_SANITIZE=ON
  cmake --build build-asan -j "$JOBS"
}

cmd=${1:-build}
case "$cmd" in
  build)
    install_missing
    build_release
    ;;
  run)
    install_missing
    build_release
    shift || true
    export PROGRAMMER_PORT=${PROGRAMMER_PORT:-sim}
    exec build/bin/vexlor "$@"
    ;;
  test)
    install_missing
    build_sanitized
    # The sweep over every device of the library runs on the optimised build
    # (the sanitizer build runs the smallest device of each row). Every target
    # of that build is built too, as `run`, `build` and `bench` build it, so
    # code only the optimiser rejects fails here.
    build_release
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$TOP/tools/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
    export QT_QPA_PLATFORM=offscreen
    (cd build-asan && ctest --output-on-failure -j "$JOBS")
    # Every device's line ("[device] maker name row n: ...") in the log, then
    # the tallies of all the sweep's shards added up.
    set +e
    (cd build && ctest --output-on-failure -V -j "$JOBS" -R '^sweep_') 2>&1 | tee build/sweep.log |
      grep --line-buffered -E '\[device\]|tests passed|tests failed|Failed|\*\*\*'
    status=${PIPESTATUS[0]}
    set -e
    echo "Sweep totals over every shard (full log: build/sweep.log):"
    awk -f tools/sweep/totals.awk build/sweep.log
    exit $status
    ;;
  bench)
    install_missing
    build_release
    for b in build/bin/bench_*; do
      [ -x "$b" ] && "$b"
    done
    ;;
  fuzz)
    install_missing
    configure build-fuzz -DCMAKE_BUILD_TYPE=Debug -DVEXLOR_FUZZ=ON -DVEXLOR_GUI=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    cmake --build build-fuzz -j "$JOBS" --target fuzz_targets
    ls build-fuzz/bin/fuzz_*
    ;;
  *)
    echo "usage: $0 {run|test|build|bench|fuzz}" >&2
    exit 2
    ;;
esac
