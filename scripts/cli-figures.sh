#!/usr/bin/env bash
# Measures kelvrix-cli's figures on the optimised native build, each beside
# its alternative:
#   - read of one unit on a 9600 baud line, against the time its bytes take
#     on the wire (counted both ways) and the panel's read all, paced at one
#     request every 100 ms;
#   - backup of 32 units on an RS-485 bus at 9600 baud, against its own wire
#     time and 32 times the RS-232C read's;
#   - backup of 96 units that dial in, each taking 20 ms to answer, all at
#     once, against one unit alone and 96 of them one after the other.
# Prints one line per figure; the peak memory is the tool's resident size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh" bench >/dev/null
cli=$root/build/bench/kelvrix-cli
sim=$root/build/bench/kelvrix-sim
work=$(mktemp -d)
line=$work/line
cleanup() {
  bash "$root/scripts/serial-pair.sh" stop "$line" || true
  [ -n "${dialler:-}" ] && kill "$dialler" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

timed() {  # OUT COMMAND...: seconds and peak KB into OUT
  /usr/bin/time -f "%e %M" -o "$1" "${@:2}" >/dev/null
}
wire_bytes() { grep -o 'length=[0-9]*' "$line/socat.out" | cut -d= -f2 | awk '{ n += $1 } END { print n }'; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
ratio() { calc "$1 / $2"; }

# One unit at 9600 baud.
KELVRIX_SERIAL_TRACE=1 bash "$root/scripts/serial-pair.sh" start "$line" "$sim" --baud 9600
timed "$work/read.time" "$cli" read --serial "$line/com1" -o "$work/read.dat"
read -r read_s read_kb <"$work/read.time"
bytes=$(wire_bytes)
wire=$(calc "$bytes * 11 / 9600")
requests=$(wc -l <"$line/sim.log")
paced=$(calc "$requests * 0.1")
echo "read, 1 unit, 9600 baud: $read_s s ($(ratio "$read_s" "$wire") x its wire time $wire s for $bytes bytes);" \
     "paced read all: $paced s for $requests requests; peak $read_kb KB"

# 32 units on the bus.
addresses=$(seq -s, 0 31)
KELVRIX_SERIAL_TRACE=1 bash "$root/scripts/serial-pair.sh" start "$line" "$sim" --baud 9600 --addresses "$addresses"
echo rs485 >"$line/sim.control"
timed "$work/bus.time" "$cli" backup "$work/bus" --bus --serial "$line/com1"
read -r bus_s bus_kb <"$work/bus.time"
bus_bytes=$(wire_bytes)
bus_wire=$(calc "$bus_bytes * 11 / 9600")
echo "backup --bus, 32 units, 9600 baud: $bus_s s ($(ratio "$bus_s" "$bus_wire") x its wire time $bus_wire s for" \
     "$bus_bytes bytes, the scan and each frame's address included; $(ratio "$bus_s" "$(calc "32 * $wire")") x 32 times" \
     "the RS-232C read's); $(($(wc -l <"$work/bus/inventory.csv") - 1)) rows; peak $bus_kb KB"

# Units that dial in. The tool listens first, and its time counts from
# then: the simulator starts 0.3 s later and dials one unit every 20 ms, so
# 96 units take 1.9 s more to come in.
port=$((20000 + RANDOM % 20000))
dial() {  # UNITS: the tool's seconds and peak KB into $work/dialUNITS.time
  timed "$work/dial$1.time" "$cli" backup "$work/dial$1" --listen "$port" --units "$1" --wait 60 &
  local tool=$!
  sleep 0.3
  "$sim" --dial "$port" --units "$1" --unit-delay 20 &
  dialler=$!
  wait "$tool"
  kill "$dialler"
  wait "$dialler" 2>/dev/null || true
  dialler=
}
dial 1
dial 96
read -r one one_kb <"$work/dial1.time"
read -r all all_kb <"$work/dial96.time"
echo "backup --listen, 96 units dialling in, 20 ms to answer: $all s all at once ($(ratio "$all" "$one") x one" \
     "unit's $one s); one after the other: $(calc "96 * $one") s; peak $all_kb KB (one unit: $one_kb KB);" \
     "$(($(wc -l <"$work/dial96/inventory.csv") - 1)) rows"
