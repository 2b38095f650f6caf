#!/usr/bin/env bash
# Sets up, builds, and starts the panel under Wine against the built-in
# simulated unit:
#   run.sh              on COM1 (RS-232C; RS-485 from the serial dialog)
#   run.sh tcp-client   as the TCP client of a unit on 127.0.0.1:9004: open
#                       インターフェイス > TCP/IPの設定 and press 接続
#   run.sh tcp-server   as the TCP server on port 9004, with three units that
#                       dial in once 接続 is pressed in the TCP/IP dialog
#
# On a usable $DISPLAY the panel opens there and this script waits until it is
# closed. Without one it starts a virtual display, saves a screenshot of the
# running panel, prints its path and stops the panel again.
set -euo pipefail
source "$(dirname "$0")/panel-session.sh"

case "${1:-serial}" in
  serial)
    export KELVRIX_INI="Interface=0"$'\n'"com_port=0" ;;
  tcp-client)
    export KELVRIX_INI="Interface=1"$'\n'"ClientServer=0"$'\n'"list_count=1"$'\n'"ip00_0=127"$'\n'"ip00_1=0"$'\n'"ip00_2=0"$'\n'"ip00_3=1"$'\n'"select_number=0"$'\n'"p_port_number=09004"
    export KELVRIX_NET_SIM="--listen 9004 --alarm-history 12 --video-loss-history 5" ;;
  tcp-server)
    export KELVRIX_INI="Interface=1"$'\n'"ClientServer=1"$'\n'"p_port_number=09004"
    export KELVRIX_NET_SIM="--dial 9004 --units 3" ;;
  *)
    echo "usage: $0 [serial|tcp-client|tcp-server]" >&2
    exit 2 ;;
esac

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
