#!/usr/bin/env bash
# Configures and builds one of the project's builds.
#   build.sh native    g++, ASan + UBSan, the portable core and its tests   -> build/native
#   build.sh windows   MinGW-w64 cross build, tests run under Wine           -> build/windows
#   build.sh fuzz      clang, libFuzzer + ASan + UBSan                       -> build/fuzz
#   build.sh bench     g++ Release, the benchmarks                           -> build/bench
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: build.sh native|windows|fuzz|bench}
dir=$root/build/$kind
jobs=$(nproc)

case "$kind" in
  native)  args=(-DCMAKE_BUILD_TYPE=Debug -DKELVRIX_SANITIZE=ON) ;;
  # The Windows tests talk to the native unit simulator of the native build.
  windows) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake"
                 -DKELVRIX_SIMULATOR="$root/build/native/kelvrix-sim") ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DKELVRIX_SANITIZE=ON -DKELVRIX_FUZZ=ON) ;;
  bench)   args=(-DCMAKE_BUILD_TYPE=Release -DKELVRIX_BENCH=ON) ;;
  *) echo "unknown build: $kind" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
targets=()
[ "$kind" = fuzz ] && targets=(--target fuzz_replies)  # its one test: the rest is the native build's
cmake --build "$dir" -j "$jobs" "${targets[@]}"
