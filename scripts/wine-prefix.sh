#!/usr/bin/env bash
# Makes and starts, or stops, the Wine prefix the Windows tests run in.
#   wine-prefix.sh start DIR   make DIR when needed (fonts, unmanaged windows, COM1 on DIR/../serial/com1,
#                              and so are COM7 and COM10, as a USB adapter would be numbered;
#                              COM2 on a folder, which no program can open as a port), start a
#                              persistent wineserver
#   wine-prefix.sh stop DIR    stop that wineserver and wait for it
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
here=$(cd "$(dirname "$0")" && pwd)

case "$action" in
  start)
    # Made again whenever this script or its registry settings change.
    stamp=$(cat "$0" "$here/wine-prefix.reg" | md5sum)
    if [ "$(cat "$WINEPREFIX/.kelvrix-ready" 2>/dev/null)" != "$stamp" ]; then
      rm -rf "$WINEPREFIX"
      mkdir -p "$WINEPREFIX"
      WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1
      wineserver -w
      wine regedit /S "$(winepath -w "$here/wine-prefix.reg")" </dev/null >>"$WINEPREFIX.log" 2>&1
      serial=$(dirname "$WINEPREFIX")/serial
      for port in COM1 COM7 COM10; do
        wine reg add 'HKLM\Software\Wine\Ports' /v $port /d "$serial/com1" /f </dev/null >>"$WINEPREFIX.log" 2>&1
      done
      wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /d "$WINEPREFIX/drive_c" /f </dev/null >>"$WINEPREFIX.log" 2>&1
      # Wine draws caption buttons with Marlett, which Debian's Wine ships (fonts-wine)
      # but does not load from its own folder; the prefix's font folder is always read.
      cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
      wineserver -w
      echo "$stamp" >"$WINEPREFIX/.kelvrix-ready"
    fi
    # A persistent server makes each later start warm (0.15 s instead of 0.9 s).
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
