#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" bench
"$root/build/bench/bench/dispatch_bench" "$@"
