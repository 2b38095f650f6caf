#!/usr/bin/env bash
# By hand, not in CI: the TCP/IP server under churn. 96 simulated units keep
# hanging up and dialling in again while commands go out to the chosen one;
# every 30 s the panel process's resident memory and open descriptors (Wine
# keeps one per socket and handle it caches) are printed.
#   soak-network.sh [MINUTES [MODE]]   (default 10, "churn 20000": each unit
#                                       stays up to 20 s; "churn 3000" is harder,
#                                       "reset" connects and resets without end)
set -euo pipefail
unset DISPLAY
source "$(dirname "$0")/panel-session.sh"
minutes=${1:-10}
mode=${2:-churn 20000}
port=19400
export KELVRIX_INI="Interface=1"$'\n'"ClientServer=1"$'\n'"p_port_number=$port"
export KELVRIX_NET_SIM="--dial $port --units 96"
session=$root/build/soak
start_session "$session"
echo "$mode" >"$session/net-sim.control"

server="TCP/IPの設定（Server）"
wine "$driver" command "$main_class" 32777
wine "$driver" wait-window "#32770" 10000 "$server" >/dev/null
wine "$driver" in "$server" dialog-click 1108
sleep 3  # the units dial in
wine "$driver" in "$server" dialog-click 2

report() {
  echo "soak: $1 rss $(awk '/VmRSS/ {print $2, $3}' "/proc/$panel/status"), descriptors $(ls "/proc/$panel/fd" | wc -l)," \
    "commands $sent: answered $answered, unit gone before the send $gone"
}

end=$(( $(date +%s) + minutes * 60 ))
next_report=0
sent=0
answered=0
gone=0
while [ "$(date +%s)" -lt "$end" ]; do
  if [ "$(date +%s)" -ge "$next_report" ]; then
    report "$(date +%T)"
    next_report=$(( $(date +%s) + 30 ))
  fi
  # Each round chooses the first unit listed and sends it one command; a unit
  # that hung up meanwhile gives "Socket 送信" or no answer, which is fine.
  if line=$(wine "$driver" each-connection 1 2>/dev/null); then
    sent=$((sent + 1))
    case "$line" in
      *"Socket ＯＫ"*) answered=$((answered + 1)) ;;
      # the chosen unit hung up before the send
      *"Socket 送信"* | *"Socket が接続されていません"*) gone=$((gone + 1)) ;;
    esac
  fi
  wine "$driver" boxes 3 200 >/dev/null 2>&1 || true  # any box a hang-up left
done
report end
wine "$driver" window-exists "$main_class" && echo "soak: the panel is still running"
