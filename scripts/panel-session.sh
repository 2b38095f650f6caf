# Sourced by run.sh and screenshots.sh: builds, then starts the panel under
# Wine against the simulated unit (one end of a pty pair, the other end the
# prefix's COM1). Without a usable $DISPLAY it starts a virtual one.
#   start_session DIR [simulator options...]   sets $driver, $panel, $virtual
# Before it, KELVRIX_INI may hold the lines of the kelvrix.ini the panel starts
# with, and KELVRIX_NET_SIM the options of a second simulator on the network
# (--listen PORT or --dial PORT --units N). The session stops when the
# sourcing script exits.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
driver=$root/build/windows/tests/kelvrix_driver.exe
main_class="Kelvrix TCP Server"
xvfb_pid=""
net_sim_pid=""

stop_session() {
  wine "$driver" close "$main_class" >/dev/null 2>&1 || true
  sleep 1
  bash "$root/scripts/wine-prefix.sh" stop "$WINEPREFIX"
  bash "$root/scripts/serial-pair.sh" stop "$session/serial"
  [ -n "$net_sim_pid" ] && kill "$net_sim_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}

start_session() {
  session=$1
  shift
  bash "$root/scripts/setup.sh"
  bash "$root/scripts/build.sh" native >/dev/null
  bash "$root/scripts/build.sh" windows >/dev/null

  export WINEPREFIX=$session/wineprefix WINEDEBUG=-all LANG=ja_JP.UTF-8
  mkdir -p "$session"
  trap stop_session EXIT

  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    exec {display_fd}<> <(:)
    Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -u "$display_fd" number
    export DISPLAY=":$number"
    virtual=1
  else
    virtual=0
  fi

  echo "session: preparing the Wine prefix (the first time takes about 20 s)"
  bash "$root/scripts/wine-prefix.sh" start "$WINEPREFIX"
  bash "$root/scripts/serial-pair.sh" start "$session/serial" "$root/build/native/kelvrix-sim" "$@"
  echo "session: simulated unit on COM1, frames it receives are logged to $session/serial/sim.log"
  if [ -n "${KELVRIX_INI:-}" ]; then
    printf '[Kelvrix_Section]\r\n%s\r\n' "${KELVRIX_INI//$'\n'/$'\r\n'}" >"$WINEPREFIX/drive_c/windows/kelvrix.ini"
  fi
  if [ -n "${KELVRIX_NET_SIM:-}" ]; then
    # shellcheck disable=SC2086  # the options are words
    "$root/build/native/kelvrix-sim" $KELVRIX_NET_SIM --log "$session/net-sim.log" --control "$session/net-sim.control" \
      </dev/null >"$session/net-sim.out" 2>&1 &
    net_sim_pid=$!
    echo "session: simulated unit(s) on the network ($KELVRIX_NET_SIM), frames logged to $session/net-sim.log"
  fi

  wine "$root/build/windows/kelvrix.exe" </dev/null >"$session/kelvrix.log" 2>&1 &
  panel=$!
  wine "$driver" wait-window "$main_class" 20000 >/dev/null 2>&1
}
