#!/usr/bin/env bash
# Renders docs/screenshots/: the main window and each setting dialog, opened
# from the menu of the running panel on a virtual display, then the main
# window and a drawn table again at 144 DPI (150 %).
set -euo pipefail
unset DISPLAY  # always a virtual display of known size
source "$(dirname "$0")/panel-session.sh"

out=$root/docs/screenshots
# The serial link whatever an earlier, interrupted run left in the prefix.
export KELVRIX_INI="Interface=0"$'\n'"com_port=0"
start_session "$root/build/screenshots" --addresses 0,5,7 --off-default --alarm-history 25 --video-loss-history 12
rm -f "$session"/*.csv "$session"/*.dat  # an earlier run's backups: no save dialog asks to replace them

shoot() {  # CLASS CAPTION FILE
  sleep 1.5  # the tables are drawn on the dialog's first timer tick
  geometry=$(wine "$driver" geometry "$1" "$2" | tr -d '\r')
  import -window root -crop "$geometry" +repage "$out/$3"
  echo "screenshots: $out/$3"
}

shoot "$main_class" "Kelvrix Client Program" main-window.png
# menu command, caption, file
while IFS='|' read -r command caption file; do
  wine "$driver" command "$main_class" "$command"
  wine "$driver" wait-window "#32770" 10000 "$caption" >/dev/null
  shoot "#32770" "$caption" "$file"
  # Close, or the About box's OK
  wine "$driver" in "$caption" dialog-click 2 || wine "$driver" in "$caption" dialog-click 1
  sleep 0.5
done <<'LIST'
32792|分割画面の配置設定 |division-layout.png
32784|ビデオ調整 |video-adjust.png
32782|アラームの設定 |alarm.png
32781|自動切換えの設定 |auto-sequence.png
32778|日付・時刻の設定 |date-time.png
32785|画面の設定 |screen.png
32780|タイトル表示の設定 |title-display.png
32783|アスペクト比の設定 |aspect.png
32786|その他の設定 |other.png
32788|スレーブアドレスの設定 |slave-address.png
120|バージョン情報|about.png
LIST

# The titles with one typed as the operator would, the half-width "ﾟ" in it,
# and video loss with a channel turned off.
wine "$driver" command "$main_class" 32779
wine "$driver" wait-window "#32770" 10000 "タイトルの設定 " >/dev/null
wine "$driver" dialog-type 1089 "ENTRANCE"
wine "$driver" dialog-choose 1090 1
wine "$driver" dialog-type 1089 "GATEﾟ2"
shoot "#32770" "タイトルの設定 " title.png
wine "$driver" dialog-click 2
wine "$driver" command "$main_class" 32791
wine "$driver" wait-window "#32770" 10000 "ビデオロスの設定 " >/dev/null
wine "$driver" dialog-choose 1090 2
wine "$driver" dialog-choose 1100 0
shoot "#32770" "ビデオロスの設定 " video-loss.png
wine "$driver" dialog-click 2

# The histories once read from the unit, and the network settings read back.
while IFS='|' read -r command caption start seconds file; do
  wine "$driver" command "$main_class" "$command"
  wine "$driver" wait-window "#32770" 10000 "$caption" >/dev/null
  wine "$driver" in "$caption" dialog-click "$start"
  sleep "$seconds"
  for _ in $(seq 50); do  # Close comes back at the end of the read
    wine "$driver" in "$caption" dialog-item 2 | grep -q '^1' && break
    sleep 0.2
  done
  wine "$driver" boxes 1 1000 >/dev/null || true  # the version's answer
  shoot "#32770" "$caption" "$file"
  wine "$driver" in "$caption" dialog-click 2
  sleep 0.5
done <<'LIST'
32793|アラーム履歴 |1144|11|alarm-history.png
32794|ビデオロス履歴 |1144|11|video-loss-history.png
32789|プロトコルの設定 |1130|3|network.png
LIST

# The runs over every setting, a few seconds in; each dialog closes itself at
# the end, and the unit's answer to the last step then shows "Success".
while IFS='|' read -r command caption start file; do
  wine "$driver" command "$main_class" "$command"
  wine "$driver" wait-window "#32770" 10000 "$caption" >/dev/null
  wine "$driver" dialog-click "$start"
  sleep 4
  shoot "#32770" "$caption" "$file"
  wine "$driver" wait-gone "#32770" "$caption" 30000
  wine "$driver" boxes 1 5000 >/dev/null
done <<'LIST'
32796|設定項目の読み込み|1132|read-all.png
32787|全項目の設定|1135|write-all.png
LIST

# The comparison: the settings, just read from the unit and written back,
# then edited in a few dialogs; its list of differences, and the same rows
# written and read back.
edit() {  # menu command, caption, then "verb id value" triples on the dialog
  local command=$1 caption=$2
  shift 2
  wine "$driver" command "$main_class" "$command"
  wine "$driver" wait-window "#32770" 10000 "$caption" >/dev/null
  while [ $# -gt 0 ]; do
    wine "$driver" in "$caption" "$1" "$2" "$3"
    shift 3
  done
  wine "$driver" in "$caption" dialog-click 2
  sleep 0.5
}
edit 32779 "タイトルの設定 " dialog-choose 1090 2 dialog-type 1089 "LOBBY-3"
edit 32784 "ビデオ調整 " dialog-choose 1090 4 dialog-choose 1076 120
edit 32782 "アラームの設定 " dialog-choose 1050 0
edit 32783 "アスペクト比の設定 " dialog-choose 1022 0
edit 32781 "自動切換えの設定 " dialog-choose 1066 3 dialog-choose 1046 20
wine "$driver" command "$main_class" 32800
wine "$driver" wait-window "#32770" 10000 "ユニットと比較" >/dev/null
wine "$driver" in "ユニットと比較" dialog-run 1214 1214 30000 >/dev/null
shoot "#32770" "ユニットと比較" compare.png
wine "$driver" in "ユニットと比較" dialog-run 1215 1214 30000 >/dev/null
shoot "#32770" "ユニットと比較" compare-written.png
wine "$driver" in "ユニットと比較" dialog-click 2
sleep 0.5

# The system's save dialog with the panel's title and filters.
wine "$driver" command "$main_class" 32774
wine "$driver" wait-window "#32770" 10000 "ファイルの保存" >/dev/null
shoot "#32770" "ファイルの保存" save-as.png
wine "$driver" close "#32770"
sleep 0.5

# The TCP/IP dialogs, each in its role: the client with a host list, the
# server with three units that dialled in, the second one chosen.
close_panel() {  # the titles typed above ask whether to end without saving: yes
  wine "$driver" close "$main_class" >/dev/null 2>&1 || true
  wine "$driver" answer yes 5000 >/dev/null 2>&1 || true
  wait "$panel" || true
}
write_ini() {  # kelvrix.ini lines
  printf '[Kelvrix_Section]\r\n%s\r\n' "${1//$'\n'/$'\r\n'}" >"$WINEPREFIX/drive_c/windows/kelvrix.ini"
}
restart_panel() {  # kelvrix.ini lines
  close_panel
  write_ini "$1"
  stty -F "$session/serial/com1" cstopb  # a pty keeps no parity: see fresh_line in tests/e2e
  wine "$root/build/windows/kelvrix.exe" </dev/null >>"$session/kelvrix.log" 2>&1 &
  panel=$!
  wine "$driver" wait-window "$main_class" 20000 >/dev/null
}
hosts="list_count=3"
for entry in "00 192 168 1 3" "01 192 168 1 4" "02 10 0 0 21"; do
  read -r n a b c d <<<"$entry"
  hosts+=$'\n'"ip${n}_0=$a"$'\n'"ip${n}_1=$b"$'\n'"ip${n}_2=$c"$'\n'"ip${n}_3=$d"
done
restart_panel "Interface=1"$'\n'"ClientServer=0"$'\n'"select_number=0"$'\n'"$hosts"
wine "$driver" command "$main_class" 32777
wine "$driver" wait-window "#32770" 10000 "TCP/IPの設定（Client）" >/dev/null
wine "$driver" in "TCP/IPの設定（Client）" dialog-pick 1118 1  # the host chosen by a double-click, shown above the list
shoot "#32770" "TCP/IPの設定（Client）" tcp-client.png
wine "$driver" in "TCP/IPの設定（Client）" dialog-click 1

restart_panel "Interface=1"$'\n'"ClientServer=1"$'\n'"p_port_number=19300"
"$root/build/native/kelvrix-sim" --dial 19300 --units 3 </dev/null >/dev/null 2>&1 &
net_sim_pid=$!  # the session's end stops it, should a step below fail
wine "$driver" command "$main_class" 32777
wine "$driver" wait-window "#32770" 10000 "TCP/IPの設定（Server）" >/dev/null
wine "$driver" in "TCP/IPの設定（Server）" dialog-click 1108
sleep 2.5  # the units dial again once a second
wine "$driver" in "TCP/IPの設定（Server）" dialog-pick 1147 1
shoot "#32770" "TCP/IPの設定（Server）" tcp-server.png
wine "$driver" in "TCP/IPの設定（Server）" dialog-click 2
# The unit list of the server's units, after their clocks were set all at once.
wine "$driver" command "$main_class" 32803
wine "$driver" wait-window "#32770" 10000 "ユニット一覧" >/dev/null
wine "$driver" in "ユニット一覧" dialog-run 1248 1246 30000 >/dev/null
shoot "#32770" "ユニット一覧" unit-list-server.png
wine "$driver" in "ユニット一覧" dialog-click 2
wine "$driver" command "$main_class" 32777
wine "$driver" wait-window "#32770" 10000 "TCP/IPの設定（Server）" >/dev/null
wine "$driver" in "TCP/IPの設定（Server）" dialog-click 1109
wine "$driver" in "TCP/IPの設定（Server）" dialog-click 2
kill "$net_sim_pid"
net_sim_pid=

# On the RS-485 bus of units 00, 05 and 07: the bus scan, 05 chosen by a
# double-click, and the traffic monitor after a brightness set to it.
restart_panel "Interface=0"$'\n'"com_port=0"$'\n'"rs_control=1"
echo rs485 >"$session/serial/sim.control"
wine "$driver" command "$main_class" 32801
wine "$driver" wait-window "#32770" 10000 "RS-485 バス検索" >/dev/null
wine "$driver" in "RS-485 バス検索" dialog-run 1223 1223 30000 >/dev/null
wine "$driver" in "RS-485 バス検索" dialog-activate 1221 1
shoot "#32770" "RS-485 バス検索" bus-scan.png
wine "$driver" in "RS-485 バス検索" dialog-click 2
wine "$driver" command "$main_class" 32802
wine "$driver" wait-window "#32770" 10000 "通信モニタ" >/dev/null
wine "$driver" command "$main_class" 32784
wine "$driver" wait-window "#32770" 10000 "ビデオ調整 " >/dev/null
wine "$driver" in "ビデオ調整 " dialog-click 1082
wine "$driver" boxes 1 5000 >/dev/null
wine "$driver" in "ビデオ調整 " dialog-click 2
sleep 0.5
shoot "#32770" "通信モニタ" traffic-monitor.png
wine "$driver" in "通信モニタ" dialog-click 2
# The unit list: the bus as scanned at opening, then after the clock set on every unit.
wine "$driver" command "$main_class" 32803
wine "$driver" wait-window "#32770" 10000 "ユニット一覧" >/dev/null
wine "$driver" in "ユニット一覧" dialog-run 1243 1243 30000 >/dev/null
shoot "#32770" "ユニット一覧" unit-list.png
wine "$driver" in "ユニット一覧" dialog-run 1248 1246 30000 >/dev/null
shoot "#32770" "ユニット一覧" unit-list-after-run.png
# A backup while every unit's front-panel menu is open: each answers "MENU",
# so nothing counts as read and no settings file is written.
printf 'rs485\nreply MENU\n' >"$session/serial/sim.control"
wine "$driver" file-dialog "バックアップの保存先" "Z:${session//\//\\}\\inventory.csv" 10000 >/dev/null &
wine "$driver" in "ユニット一覧" dialog-run 1246 1246 60000 >/dev/null
wait $!
shoot "#32770" "ユニット一覧" unit-list-unread.png
# A backup, then unit 05 swapped for a new one: the scan shows "交換？", and
# "ユニットの交換..." asks, then makes the new unit the old one.
echo rs485 >"$session/serial/sim.control"
wine "$driver" file-dialog "バックアップの保存先" "Z:${session//\//\\}\\backup.csv" 10000 >/dev/null &
wine "$driver" in "ユニット一覧" dialog-run 1246 1246 60000 >/dev/null
wait $!
printf 'rs485\nswap 5 02-00-00-00-09-99\n' >"$session/serial/sim.control"
wine "$driver" in "ユニット一覧" dialog-run 1243 1243 30000 >/dev/null
wine "$driver" in "ユニット一覧" dialog-select 1241 1
shoot "#32770" "ユニット一覧" unit-list-swapped.png
wine "$driver" in "ユニット一覧" dialog-click 1252
wine "$driver" wait-window "#32770" 20000 "ユニットの交換" >/dev/null
shoot "#32770" "ユニットの交換" unit-replace-question.png
wine "$driver" answer yes 5000 >/dev/null
for _ in $(seq 60); do
  wine "$driver" in "ユニット一覧" dialog-item 1240 | grep -q "台が完了" && break
  sleep 1
done
shoot "#32770" "ユニット一覧" unit-list-replaced.png
wine "$driver" in "ユニット一覧" dialog-click 2
# 画面切替 on the bus: the titles and layouts read from the chosen unit, 6分割B
# shown, a switch to ch.05 answered "E3", the focus moved on by the keyboard.
switcher() {  # file
  wine "$driver" command "$main_class" 32805
  wine "$driver" wait-window "#32770" 10000 "画面切替" >/dev/null
  wine "$driver" in "画面切替" dialog-click 1262
  for _ in $(seq 40); do
    wine "$driver" in "画面切替" dialog-item 1264 | grep -q "読み込みました" && break
    sleep 0.5
  done
  wine "$driver" in "画面切替" dialog-click 1321
  sleep 1
  printf '%s\nreply E3\n' "$(head -1 "$session/serial/sim.control")" >"$session/serial/sim.control"
  wine "$driver" in "画面切替" dialog-click 1304
  sleep 1
  sed -i '2d' "$session/serial/sim.control"
  wine "$driver" in "画面切替" dialog-keys "right"
  shoot "#32770" "画面切替" "$1"
  wine "$driver" in "画面切替" dialog-click 2
}
switcher switcher.png
# A unit answering "E3" 40 times, 25 ms apart: one box, its count in the caption.
printf 'rs485\nreply E3\nrepeat 40,25\n' >"$session/serial/sim.control"
wine "$driver" command "$main_class" 32784
wine "$driver" wait-window "#32770" 10000 "ビデオ調整 " >/dev/null
wine "$driver" in "ビデオ調整 " dialog-click 1082
wine "$driver" wait-window "#32770" 10000 "Error (40)" >/dev/null
shoot "#32770" "Error (40)" folded-error-box.png
wine "$driver" boxes 1 5000 >/dev/null
wine "$driver" in "ビデオ調整 " dialog-click 2
: >"$session/serial/sim.control"

# The installer's pages and the uninstaller's, in Japanese: the program must
# not run meanwhile.
close_panel
write_ini "Interface=0"$'\n'"com_port=0"
installer_page() {  # file; then presses the page's main button (次へ, インストール, 完了, ...)
  local caption
  sleep 1.5
  caption=$(wine "$driver" wait-window "#32770" 10000 | tr -d '\r')
  shoot "#32770" "$caption" "$1"
  wine "$driver" in "$caption" dialog-click 1
}
wine "$root/build/windows/KelvrixSetup-"*.exe </dev/null >/dev/null 2>&1 &
installer_page installer-welcome.png
installer_page installer-directory.png
sleep 3  # the files go in; the finish page follows by itself
installer_page installer-finish.png
wine "C:\\Program Files\\Kelvrix\\uninstall.exe" </dev/null >/dev/null 2>&1 &
installer_page uninstaller.png
sleep 3
wine "$driver" in "$(wine "$driver" wait-window "#32770" 10000 | tr -d '\r')" dialog-click 1  # 閉じる
sleep 1

# The settings report of the reference file as a browser prints it: its
# first page, and the page of the division layouts.
"$root/build/native/kelvrix-cli" report "$root/tests/data/reference.dat" -o "$session/report.html"
bash "$root/scripts/render-report.sh" "$session/report.html" "$session/report" 90
cp "$session/report-page-1.png" "$out/report-first-page.png"
for page in "$session"/report-page-*.png; do
  number=${page##*-}
  if pdftotext -f "${number%.png}" -l "${number%.png}" "$session/report.pdf" - | grep -q "分割画面の配置"; then
    cp "$page" "$out/report-layouts.png"
  fi
done
echo "screenshots: $out/report-first-page.png $out/report-layouts.png"

# At 150 %: Wine takes the DPI from the prefix when the panel starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
trap 'wine reg delete "HKCU\\Control Panel\\Desktop" /v LogPixels /f >/dev/null 2>&1; stop_session' EXIT
stty -F "$session/serial/com1" cstopb  # a pty keeps no parity: see fresh_line in tests/e2e
wine "$root/build/windows/kelvrix.exe" </dev/null >"$session/kelvrix-144dpi.log" 2>&1 &
panel=$!
wine "$driver" wait-window "$main_class" 20000 >/dev/null
shoot "$main_class" "Kelvrix Client Program" main-window-144dpi.png
wine "$driver" command "$main_class" 32792
wine "$driver" wait-window "#32770" 10000 "分割画面の配置設定 " >/dev/null
shoot "#32770" "分割画面の配置設定 " division-layout-144dpi.png
wine "$driver" dialog-click 2
switcher switcher-144dpi.png
