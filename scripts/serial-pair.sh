#!/usr/bin/env bash
# Starts, or stops, the serial line the Wine tests and the run command use: a
# pty pair made by socat, one end linked as DIR/com1 (the Wine prefix maps
# COM1 there), the unit simulator on the other end.
#   serial-pair.sh start DIR SIMULATOR [simulator options...]
#   serial-pair.sh stop DIR
# The simulator logs every frame to DIR/sim.log and reads its mode from
# DIR/sim.control before each answer. With KELVRIX_SERIAL_TRACE=1 socat
# writes every transfer, both ways, to DIR/socat.out ("length=N").
set -euo pipefail
action=$1
dir=$2

stop() {
  for name in sim socat; do
    if [ -f "$dir/$name.pid" ]; then
      kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
      rm -f "$dir/$name.pid"
    fi
  done
}

wait_for() {
  for _ in $(seq 100); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  echo "serial-pair: $1 did not appear" >&2
  exit 1
}

case "$action" in
  start)
    simulator=$3
    shift 3
    stop
    mkdir -p "$dir"
    rm -f "$dir/com1" "$dir/sim-end" "$dir/sim.ready" "$dir/sim.log"
    : >"$dir/sim.control"
    setsid socat ${KELVRIX_SERIAL_TRACE:+-x} pty,raw,echo=0,link="$dir/com1" pty,raw,echo=0,link="$dir/sim-end" \
      </dev/null >"$dir/socat.out" 2>&1 &
    echo $! >"$dir/socat.pid"
    wait_for "$dir/com1"
    wait_for "$dir/sim-end"
    setsid "$simulator" --device "$dir/sim-end" --log "$dir/sim.log" --control "$dir/sim.control" \
      --ready "$dir/sim.ready" "$@" </dev/null >"$dir/sim.out" 2>&1 &
    echo $! >"$dir/sim.pid"
    wait_for "$dir/sim.ready"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start DIR SIMULATOR [options] | stop DIR" >&2
    exit 2
    ;;
esac
