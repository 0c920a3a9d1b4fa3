#!/usr/bin/env bash
# End-to-end: two machines' readers sync through a folder that two real Syncthing daemons keep in
# step, each daemon with its own home, on 127.0.0.1 only, no discovery, relays or NAT traversal,
# the two devices introduced by static address. Each machine is a data folder and a settings file
# of its own (a program copy each), both checking the same loopback feeds.
# - Both fetched and read two messages before sync was on; turning it on writes first snapshots.
# - Both readers run on the screen. On A's: a message opened (read), another marked unread and a
#   third deleted from the message popup, a source subscribed (an OPML import beside the reader,
#   carried out by it) and another renamed with F2; within 60 s B's files show all five, and B's
#   tree, clicked by row for B's own five actions, shows them too. The same from B to A.
# - With the daemons paused, both act on the same messages; resumed, both end in one state.
# Skips (77) with a line saying why where Syncthing is missing or cannot start. The delays seen
# are printed for the note.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/sync_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: sync_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"

skip() { echo "SKIP: $*"; exit 77; }
command -v syncthing >/dev/null || skip "syncthing is not installed (Debian package syncthing)"
now_ms() { date +%s%3N; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# One Syncthing home per machine: its key, a config naming both devices by address, the share.
for m in a b; do
  mkdir -p "$work/$m/share/.stfolder" "$work/$m/st"
  HOME="$work/$m/st" syncthing generate --home="$work/$m/st" --no-default-folder > "$work/$m/st.log" 2>&1 \
    || skip "syncthing cannot make its keys: $(tail -1 "$work/$m/st.log")"
  declare "id_$m=$(HOME="$work/$m/st" syncthing serve --home="$work/$m/st" --device-id)"
  declare "port_$m=$(free_port)" "gui_$m=$(free_port)"
done
st_config() {  # st_config ME
  local m=$1 port gui
  port=$([ "$m" = a ] && echo "$port_a" || echo "$port_b")
  gui=$([ "$m" = a ] && echo "$gui_a" || echo "$gui_b")
  cat > "$work/$m/st/config.xml" <<END
<configuration version="36">
  <folder id="quillpost" label="quillpost" path="$work/$m/share" type="sendreceive" rescanIntervalS="2" fsWatcherEnabled="true" fsWatcherDelayS="1">
    <device id="$id_a"></device>
    <device id="$id_b"></device>
  </folder>
  <device id="$id_a" name="a" compression="metadata"><address>tcp://127.0.0.1:$port_a</address></device>
  <device id="$id_b" name="b" compression="metadata"><address>tcp://127.0.0.1:$port_b</address></device>
  <gui enabled="true" tls="false"><address>127.0.0.1:$gui</address><apikey>quillpost-$m</apikey></gui>
  <options>
    <listenAddress>tcp://127.0.0.1:$port</listenAddress>
    <globalAnnounceEnabled>false</globalAnnounceEnabled>
    <localAnnounceEnabled>false</localAnnounceEnabled>
    <relaysEnabled>false</relaysEnabled>
    <natEnabled>false</natEnabled>
    <startBrowser>false</startBrowser>
    <urAccepted>-1</urAccepted>
    <crashReportingEnabled>false</crashReportingEnabled>
    <autoUpgradeIntervalH>0</autoUpgradeIntervalH>
  </options>
</configuration>
END
}
st_connected() {  # st_connected ME: the other device is connected
  local gui key=quillpost-$1
  gui=$([ "$1" = a ] && echo "$gui_a" || echo "$gui_b")
  curl -sf -H "X-API-Key: $key" "http://127.0.0.1:$gui/rest/system/connections" 2>/dev/null |
    grep -q '"connected": *true'
}
for m in a b; do
  st_config $m
  HOME="$work/$m/st" STNODEFAULTFOLDER=1 syncthing serve --home="$work/$m/st" --no-browser \
    --no-restart --no-upgrade >> "$work/$m/st.log" 2>&1 & pids+=($!)
done
st_started=$(now_ms)
wait_for 300 st_connected a || {
  for m in a b; do tail -n 5 "$work/$m/st.log"; done
  skip "the two Syncthing daemons did not connect on 127.0.0.1 within 30 s"
}
echo "Syncthing: connected in $(($(now_ms) - st_started)) ms"

# The feeds, and the machines: a program copy each (settings.cfg lies beside it), a data folder
# each, both subscribed to Town Weekly and Weather Letter, which sort first and second.
letters() {
  while IFS='|' read -r guid day title; do
    item "$guid" "$title" "$day" "Desk" desk@news.quillpost.test "$title" "$day 09:18:46 GMT" "<p>$title</p>"
  done | feed "$1" "$2"
}
letters town "Town Weekly" <<'END'
town-1|Mon, 30 Nov 2026|Bridge closed for repairs
town-2|Tue, 01 Dec 2026|Council meets on Thursday
town-3|Wed, 02 Dec 2026|New bus timetable
town-4|Fri, 04 Dec 2026|Winter market opens
town-5|Sat, 05 Dec 2026|Library extends its hours
END
for name in weather workshop yard; do letters $name "${name^} Notes" <<< "$name-1|Tue, 01 Dec 2026|A letter"; done
start_feed_server
link() { echo "$base/$1.xml?list=news.quillpost.test"; }
data_a="$work/a/data/Quillpost Data" data_b="$work/b/data/Quillpost Data"
# on MACHINE COMMAND...: runs the machine's program with its own folders.
on() {
  local m=$1
  shift
  ${exec_on:+exec} env XDG_DATA_HOME="$work/$m/data" XDG_CONFIG_HOME="$work/$m/config" \
    XDG_CACHE_HOME="$work/$m/cache" XDG_RUNTIME_DIR="$work/run" QUILLPOST_MESSAGE_LOG="${boxes-$work/boxes.log}" \
    "$work/$m/program/quillpost" "$@"
}
# Before sync is on, both machines fetched and read the two oldest messages; turning it on
# writes each one's first snapshot.
for m in a b; do
  mkdir -p "$work/$m/program" "$work/$m/data/Quillpost Data" "$work/$m/config"
  cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/$m/program/"
  data="$work/$m/data/Quillpost Data"
  subscribe "Town Weekly|$(link town)" "Weather Letter|$(link weather)"
  on $m --check > "$work/$m.check.out" 2> "$work/$m.check.err" || fail "$m's check failed: $(cat "$work/$m.check.err")"
  declare "town_$m=${ids[0]}"
  sed -i '/^\[town-[12]\]/,/^read=/s/^read=0/read=1/' "$data/${ids[0]}/inbox.dat"
  printf '[sync]\r\nfolder=%s\r\n' "$work/$m/share" > "$work/$m/program/settings.cfg"
  on $m --sync > "$work/$m.sync.out" 2> "$work/$m.sync.err" || fail "$m's first --sync: $(cat "$work/$m.sync.err")"
done
machine_a=$(sed -n 's/^machine=//p' "$data_a/sync.dat" | tr -d '\r')
[ -s "$work/a/share/quillpost-$machine_a.snapshot" ] || fail "A's first merge wrote no snapshot into the share"

# What a machine's files show: flag M GUID prints read=0 or read=1, or gone; titled M TITLE.
flag() {
  local data town
  data=$([ "$1" = a ] && echo "$data_a" || echo "$data_b")
  town=$([ "$1" = a ] && echo "$town_a" || echo "$town_b")
  grep -A6 "^\[$2\]" "$data/$town/inbox.dat" | grep -m1 '^read=' | tr -d '\r' || echo gone
}
titled() { grep -q "title=\"$2\"" "$([ "$1" = a ] && echo "$data_a" || echo "$data_b")/subscriptions.dat"; }
# shows M GUID=FLAG... TITLE...: M's files show every message's flag and every source title.
shows() {
  local m=$1 want
  shift
  for want in "$@"; do
    case $want in
      *=*) [ "$(flag $m "${want%%=*}")" = "${want#*=}" ] || return 1 ;;
      *) titled $m "$want" || return 1 ;;
    esac
  done
}
# arrives M SECONDS WHAT WANT...: waits until M shows WANT, prints the delays seen since the
# first action (started) and since the acting machine's files held the last (acted, once set).
arrives() {
  local m=$1 seconds=$2 what=$3 now
  shift 3
  wait_for $((seconds * 10)) shows $m "$@" ||
    { shot "$m-failed"; fail "within $seconds s $m does not show $what: $(for g in 1 2 3 4 5; do echo -n "town-$g $(flag $m town-$g), "; done; grep -o 'title="[^"]*"' "$([ $m = a ] && echo "$data_a" || echo "$data_b")/subscriptions.dat" | tr '\n' ' ')"; }
  now=$(now_ms)
  echo "$what: on $m $((now - started)) ms after the first action${acted:+, $((now - acted)) ms after the last was in its own files}"
}

# The two readers on the screen, boxes shown, each window raised and focused before it is used.
start_reader() {
  ( export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software exec_on=1 boxes=
    on "$1" ) >> "$work/out.log" 2>&1 & pids+=($!)
  declare -g "app_$1=$!"
  found() { xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" 2>/dev/null | grep -vx "${wid_a:-0}" | head -1; }
  wait_for 600 eval '[ -n "$(found)" ]' || fail "no main window on $1"
  declare -g "wid_$1=$(found)"
}
use() {
  wid=$([ "$1" = a ] && echo "$wid_a" || echo "$wid_b")
  xdotool windowraise "$wid"
  focus_main
  sleep 0.3
}
answer_yes() {
  local box
  box=$(window_named 20 "$1") || fail "no box \"$1\""
  xdotool windowfocus --sync "$box" && sleep 0.3 && key alt+y
}
# Town Weekly is row 0 and, unfolded, its messages from the newest follow.
unfold_town() { row 0 && key Home Right; }
# popup ROW DOWNS: the message popup on row ROW, its entry DOWNS entries down. The popup opens
# under the pointer; clicked again if it does not open within 2 s.
popup_shown() { [ "$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')" != "$wid" ]; }
popup() {
  for _ in 1 2 3; do
    row "$1" 3
    ! wait_for 20 popup_shown || break
  done
  popup_shown || fail "no message popup on row $1"
  key $(printf 'Down %.0s' $(seq "$2")) Return
}
mark_read() { popup "$1" 3; }
mark_unread() { popup "$1" 4; }
delete_row() {
  popup "$1" 2
  answer_yes '^Delete selected Item\?$'
  local done_box
  done_box=$(window_named 20 '^Done!$') || fail "no confirmation of the deletion"
  xdotool windowfocus --sync "$done_box" && sleep 0.3 && key Return
  focus_main
}
open_row() { row "$1" && key Return; }
# rename_row ROW TITLE: F2 on the source node, the new title typed.
rename_row() {
  row "$1" && key F2 && sleep 0.3
  key ctrl+a && xdotool type --delay 20 "$2" && key Return
  answer_yes '^Change Title\?$'
  focus_main
}
# subscribe_beside M NAME: an OPML import beside M's reader, carried out by the reader.
subscribe_beside() {
  printf '<?xml version="1.0"?><opml version="2.0"><body><outline text="%s" xmlUrl="%s"/></body></opml>' "${2^} Notes" "$(link "$2")" > "$work/$2.opml"
  on "$1" --import-opml "$work/$2.opml" > "$work/import.out" 2> "$work/import.err" || fail "--import-opml beside $1's reader: $(cat "$work/import.err")"
}
start_reader a
start_reader b

# A opens town-5, marks town-1 unread, deletes town-4, subscribes Workshop Notes and renames
# Weather Letter. Rows: 0 Town Weekly, 1 town-5 ... 5 town-1, 6 Weather Letter.
use a && unfold_town
started=$(now_ms) acted=
open_row 1
mark_unread 5
delete_row 2
subscribe_beside a workshop
use a && rename_row 5 "Weather Almanac"
arrives a 5 "A's own actions" town-5=read=1 town-1=read=0 town-4=gone "Workshop Notes" "Weather Almanac"
acted=$(now_ms)
# --sync beside the reader is carried out by it.
on a --sync > "$work/a.sync.out" 2> "$work/a.sync.err" || fail "--sync beside A's reader ended with $?: $(cat "$work/a.sync.err")"
grep -q '^Merged with the sync folder' "$work/a.sync.out" || fail "--sync beside A's reader printed: $(cat "$work/a.sync.out")"
arrives b 60 "A's five actions" town-5=read=1 town-1=read=0 town-4=gone "Workshop Notes" "Weather Almanac"
use b && unfold_town && shot sync-b

# B, whose tree took them in (rows: 1 town-5, 2 town-3, 3 town-2, 4 town-1, then Weather
# Almanac; a stale tree would act on the wrong rows), opens town-3, marks town-5 unread, deletes
# town-2, subscribes Yard Notes and renames Weather Almanac.
started=$(now_ms) acted=
open_row 2
mark_unread 1
delete_row 3
subscribe_beside b yard
use b && rename_row 4 "Weather Diary"
arrives b 5 "B's own actions" town-3=read=1 town-5=read=0 town-2=gone "Yard Notes" "Weather Diary"
acted=$(now_ms)
arrives a 60 "B's five actions" town-3=read=1 town-5=read=0 town-2=gone "Yard Notes" "Weather Diary"
use a && shot sync-a

# Both act on the same messages while the daemons are paused, so neither sees the other's
# action first: A marks town-1 read as B deletes it (the deletion wins); A marks town-3 unread,
# B marks it unread and then read (B's later mark wins). Rows: 1 town-5, 2 town-3, 3 town-1.
st_rest() { curl -sf -X POST -H "X-API-Key: quillpost-a" "http://127.0.0.1:$gui_a/rest/system/$1" > /dev/null; }
st_rest pause
wait_for 100 eval '! st_connected a && ! st_connected b' || fail "the paused daemons stay connected"
started=$(now_ms) acted=
use a && unfold_town && mark_read 3
use b && unfold_town && delete_row 3
use a && mark_unread 2
use b && mark_unread 2 && mark_read 2
arrives a 5 "A's own concurrent actions" town-1=read=1 town-3=read=0
arrives b 5 "B's own concurrent actions" town-1=gone town-3=read=1
st_rest resume
resumed=$(now_ms)
# state M: the flags of Town Weekly's messages and the source titles M's files hold.
state() {
  for g in 1 2 3 4 5; do echo "town-$g $(flag "$1" town-$g)"; done
  grep -o 'title="[^"]*"' "$([ "$1" = a ] && echo "$data_a" || echo "$data_b")/subscriptions.dat" | sort
}
same() { [ "$(state a)" = "$(state b)" ]; }
wait_for 600 eval 'same && shows a town-1=gone town-3=read=1' ||
  fail "after both merged, A and B differ: $(diff <(state a) <(state b) | tr '\n' ' ')"
echo "Concurrent actions: A and B agree $(($(now_ms) - resumed)) ms after the daemons resumed"
for app in app_a app_b; do kill -0 "${!app}" 2>/dev/null || fail "a reader is not running any more"; done
[ ! -s "$work/boxes.log" ] || fail "unexpected message boxes: $(cat "$work/boxes.log")"
echo "sync e2e passed"
