#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" bench
for bench in dispatch_bench settings_bench traffic_bench cli_bench; do
  "$root/build/bench/bench/$bench" "$@"
done
