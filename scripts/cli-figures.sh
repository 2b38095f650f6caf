#!/usr/bin/env bash
# Measures kelvrix-cli's figures on the optimised native build, each beside
# its alternative:
#   - read of one unit on a 9600 baud line, against the time its bytes take
#     on the wire (counted both ways) and the panel's read all, paced at one
#     request every 100 ms;
#   - backup of 32 units on an RS-485 bus at 9600 baud, against its own wire
#     time and 32 times the RS-232C read's;
#   - backup of 96 units that dial in, each taking 20 ms to answer, each read
#     as it comes, against one unit alone: as the simulator dials for the
#     panel (one unit every 20 ms) and as fast as units may (one every 2 ms);
#   - the same with one unit silent among them: how long after it dialled
#     in its job ended, against three requests' two time-outs each;
#   - a watch round (both histories, 200 requests a unit) of one unit and of
#     32 units on the bus at 9600 baud, against their wire time.
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
  /usr/bin/time -q -f "%e %M" -o "$1" "${@:2}" >/dev/null
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
# then: the simulator starts 0.3 s later and dials one unit every GAP ms.
port=$((20000 + RANDOM % 20000))
dial() {  # NAME UNITS GAP [simulator options]: the tool's seconds and peak KB into $work/NAME.time
  timed "$work/$1.time" "$cli" backup "$work/$1" --listen "$port" --units "$2" --wait 60 &
  local tool=$!
  sleep 0.3
  "$sim" --dial "$port" --units "$2" --unit-delay 20 --dial-gap "$3" "${@:4}" &
  dialler=$!
  wait "$tool" || true
  kill "$dialler"
  wait "$dialler" 2>/dev/null || true
  dialler=
}
dial one 1 20
dial all 96 20
dial fast 96 2
read -r one one_kb <"$work/one.time"
read -r all all_kb <"$work/all.time"
read -r fast fast_kb <"$work/fast.time"
echo "backup --listen, 96 units dialling in, 20 ms to answer, each read as it comes: $all s with a unit" \
     "dialling every 20 ms ($(ratio "$all" "$one") x one unit's $one s; the last dials 1.9 s after the first)," \
     "$fast s with one every 2 ms ($(ratio "$fast" "$one") x); peak $all_kb KB (one unit: $one_kb KB);" \
     "$(($(wc -l <"$work/fast/inventory.csv") - 1)) rows"

# One unit of the 96 silent (the 48th, dialling 2 ms x 47 after the first):
# the run ends when its job does.
dial silent 96 2 --mode "silent unit 48"
read -r silent silent_kb <"$work/silent.time"
silent_end=$(calc "$silent - 0.3 - 0.094")
echo "a silent unit among 96 (4 s time-out): the run took $silent s; the silent unit's job ended" \
     "$silent_end s after it dialled in, against 3 x 2 time-outs = 24 s;" \
     "$(grep -c ',ok$' "$work/silent/inventory.csv") units ok, its row: $(grep -v ',ok$' "$work/silent/inventory.csv" | grep -v '^,,,,,' | tail -n 1)"

# watch: a round of both histories, each entry held, on one unit and on 32.
watch_round() {  # NAME ADDRESSES...: seconds, wire seconds and bytes into $work/NAME.*
  KELVRIX_SERIAL_TRACE=1 bash "$root/scripts/serial-pair.sh" start "$line" "$sim" --baud 9600 \
    --alarm-history 100 --video-loss-history 100 "${@:2}"
  [ $# -gt 1 ] && echo rs485 >"$line/sim.control"
  local bus=()
  [ $# -gt 1 ] && bus=(--bus)
  timed "$work/$1.time" "$cli" watch "${bus[@]}" --serial "$line/com1" --once --all
  wire_bytes >"$work/$1.bytes"
}
watch_round watch-one
watch_round watch-bus --addresses "$addresses"
read -r w1 w1_kb <"$work/watch-one.time"
read -r w32 w32_kb <"$work/watch-bus.time"
w1_wire=$(calc "$(cat "$work/watch-one.bytes") * 11 / 9600")
w32_wire=$(calc "$(cat "$work/watch-bus.bytes") * 11 / 9600")
echo "watch round, both histories full: 1 unit $w1 s ($(ratio "$w1" "$w1_wire") x its wire time $w1_wire s);" \
     "32 units on the bus $w32 s ($(ratio "$w32" "$w32_wire") x its wire time $w32_wire s, the scan included);" \
     "peak $w1_kb KB and $w32_kb KB"
