#!/usr/bin/env bash
# Sets up, builds, and starts the panel under Wine against the built-in
# simulated unit.
#
# On a usable $DISPLAY the panel opens there and this script waits until it is
# closed. Without one it starts a virtual display, saves a screenshot of the
# running panel, prints its path and stops the panel again.
set -euo pipefail
source "$(dirname "$0")/panel-session.sh"

run=$root/build/run
start_session "$run" --addresses 0,5,7 --alarm-history 12 --video-loss-history 5

if [ "$virtual" = 1 ]; then
  sleep 2
  import -window root "$run/screenshot.png"
  echo "run: no display; the running panel is in $run/screenshot.png"
else
  echo "run: the panel runs on $DISPLAY; close it to stop"
  wait "$panel" || true
fi
