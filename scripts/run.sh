#!/usr/bin/env bash
# Sets up, builds, and starts the panel under Wine against the built-in
# simulated unit: the simulator holds one end of a pty pair, the other end is
# the Wine prefix's COM1.
#
# On a usable $DISPLAY the panel opens there and this script waits until it is
# closed. Without one it starts a virtual display, saves a screenshot of the
# running panel, prints its path and stops the panel again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh
bash scripts/build.sh native >/dev/null
bash scripts/build.sh windows >/dev/null

run=$root/build/run
export WINEPREFIX=$run/wineprefix WINEDEBUG=-all LANG=ja_JP.UTF-8
mkdir -p "$run"
xvfb_pid=""

cleanup() {
  WINEDEBUG=-all wine "$root/build/windows/tests/kelvrix_driver.exe" close "Kelvrix TCP Server" >/dev/null 2>&1 || true
  sleep 1
  bash scripts/wine-prefix.sh stop "$WINEPREFIX"
  bash scripts/serial-pair.sh stop "$run/serial"
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  exec {display_fd}<> <(:)
  Xvfb -displayfd "$display_fd" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -u "$display_fd" number
  export DISPLAY=":$number"
  virtual=1
else
  virtual=0
fi

echo "run: preparing the Wine prefix (the first time takes about 20 s)"
bash scripts/wine-prefix.sh start "$WINEPREFIX"
bash scripts/serial-pair.sh start "$run/serial" "$root/build/native/kelvrix-sim" \
  --addresses 0,5,7 --alarm-history 12 --video-loss-history 5
echo "run: simulated unit on COM1, frames it receives are logged to $run/serial/sim.log"

wine "$root/build/windows/kelvrix.exe" </dev/null >"$run/kelvrix.log" 2>&1 &
panel=$!
wine "$root/build/windows/tests/kelvrix_driver.exe" wait-window "Kelvrix TCP Server" 20000 >/dev/null 2>&1

if [ "$virtual" = 1 ]; then
  sleep 2
  import -window root "$run/screenshot.png"
  echo "run: no display; the running panel is in $run/screenshot.png"
else
  echo "run: the panel runs on $DISPLAY; close it to stop"
  wait "$panel" || true
fi
