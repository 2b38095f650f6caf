#!/usr/bin/env bash
# kelvrix-cli watch over ROUNDS rounds back to back (--interval 0) against a
# simulated unit on loopback whose histories keep growing: one alarm more
# every 50 ms, a video loss more every 150 ms, so that every round finds
# news and the hundred-entry histories keep rolling over. Prints the
# watch's resident size after the first tenth of the rounds and at the end,
# the lines it reported, and the state file's size: memory that stays flat
# and a state that stays bounded.
#   bench/watch-soak.sh [ROUNDS]   (1000 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-1000}
bash "$root/scripts/build.sh" bench >/dev/null
cli=$root/build/bench/kelvrix-cli
sim=$root/build/bench/kelvrix-sim
work=$(mktemp -d)
port=$((20000 + RANDOM % 20000))
cleanup() {
  kill "${feeder:-}" "${simulator:-}" "${watcher:-}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --listen "$port" --control "$work/control" --log "$work/frames" </dev/null >/dev/null 2>&1 &
simulator=$!
(
  for ((n = 1; ; n++)); do
    printf 'alarms %d\nvideo-losses %d\n' "$n" "$((n / 3))" >"$work/control.next"
    mv "$work/control.next" "$work/control"
    sleep 0.05
  done
) &
feeder=$!
sleep 0.3

"$cli" watch --tcp "127.0.0.1:$port" --interval 0 --state "$work/state" --prometheus "$work/kelvrix.prom" \
  >"$work/lines" 2>/dev/null &
watcher=$!
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$watcher/status"; }
# Each round asks the unit 201 lines (its MAC address, then both histories):
# the simulator's log counts the rounds.
await_rounds() {
  until [ "$(($(wc -l <"$work/frames" 2>/dev/null || echo 0) / 201))" -ge "$1" ]; do sleep 0.2; done
}
start=$(date +%s.%N)
await_rounds $((rounds / 10))
early=$(rss)
await_rounds "$rounds"
late=$(rss)
seconds=$(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }")
echo "watch soak: about $rounds rounds in $seconds s; resident $early KB after the first tenth, $late KB at the end;" \
     "$(wc -l <"$work/lines") lines reported; state file $(stat -c %s "$work/state") bytes"
