#!/usr/bin/env bash
# End-to-end: two machines' readers sync through a folder that two real Syncthing daemons keep in
# step, each daemon with its own home, on 127.0.0.1 only, no discovery, relays or NAT traversal,
# the two devices introduced by static address. Each machine is a data folder and a settings file
# of its own (a program copy each), both checking the same loopback feeds.
# - Sync is on for both (settings.cfg); each one's headless check writes its first snapshot.
# - On A's reader a message is opened from the keyboard (read) and a source is subscribed with
#   --import-opml beside it; --sync beside the reader is carried out by it. `quillpost --sync` on
#   B shows both within 60 s.
# - B subscribes another source; A's running reader, watching its folder, takes it in by itself
#   within 60 s.
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
# each, sync on with the daemon's share.
letters() {
  while IFS='|' read -r guid day title; do
    item "$guid" "$title" "$day" "Desk" desk@news.quillpost.test "$title" "$day 09:18:46 GMT" "<p>$title</p>"
  done | feed "$1" "$2"
}
letters town "Town Weekly" <<'END'
town-1|Fri, 04 Dec 2026|Winter market opens
town-2|Sat, 05 Dec 2026|Library extends its hours
END
letters garden "Garden Letter" <<'END'
garden-1|Tue, 01 Dec 2026|Mulch before the frost
END
letters kitchen "Kitchen Notes" <<'END'
kitchen-1|Sat, 05 Dec 2026|Bread without kneading
END
start_feed_server
town_link="$base/town.xml?list=news.quillpost.test"
for m in a b; do
  mkdir -p "$work/$m/program" "$work/$m/data/Quillpost Data" "$work/$m/config"
  cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/$m/program/"
  printf '[sync]\r\nfolder=%s\r\n' "$work/$m/share" > "$work/$m/program/settings.cfg"
  data="$work/$m/data/Quillpost Data"
  subscribe "Town Weekly|$town_link"
done
# on MACHINE COMMAND...: runs the machine's program with its own folders.
on() {
  local m=$1
  shift
  ${exec_on:+exec} env XDG_DATA_HOME="$work/$m/data" XDG_CONFIG_HOME="$work/$m/config" \
    XDG_CACHE_HOME="$work/$m/cache" XDG_RUNTIME_DIR="$work/run" QUILLPOST_MESSAGE_LOG="$work/boxes.log" \
    "$work/$m/program/quillpost" "$@"
}
for m in a b; do
  on $m --check > "$work/$m.check.out" 2> "$work/$m.check.err" || fail "$m's check failed: $(cat "$work/$m.check.err")"
done
data_a="$work/a/data/Quillpost Data" data_b="$work/b/data/Quillpost Data"
town_a=$(grep -o 'id="[0-9A-F-]*"' "$data_a/subscriptions.dat" | cut -d'"' -f2)
town_b=$(grep -o 'id="[0-9A-F-]*"' "$data_b/subscriptions.dat" | cut -d'"' -f2)
machine_a=$(sed -n 's/^machine=//p' "$data_a/sync.dat" | tr -d '\r')
[ -s "$work/a/share/quillpost-$machine_a.snapshot" ] || fail "A's check wrote no snapshot into the share"
is_read() { grep -A6 "^\[$3\]" "$1/$2/inbox.dat" | grep -q '^read=1'; }
holds_source() { grep -q "$2" "$1/subscriptions.dat"; }

# A's reader: the newest message of Town Weekly opened from the keyboard, then a source
# subscribed beside it.
(
  export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software exec_on=1
  on a
) > "$work/out.log" 2>&1 & app=$!
pids+=($app)
wid=$(window_named 60 "Quillpost \(Standard Version\)" | head -1) || fail "no main window on A"
focus_main
sleep 1
key Home Right Down Return
wait_for 150 is_read "$data_a" "$town_a" town-2 || fail "the opened message was not marked read on A"
read_at=$(now_ms)
printf '<?xml version="1.0"?><opml version="2.0"><body><outline text="Garden Letter" xmlUrl="%s/garden.xml?list=news.quillpost.test"/></body></opml>' "$base" > "$work/garden.opml"
on a --import-opml "$work/garden.opml" > "$work/import.out" 2> "$work/import.err" || fail "--import-opml beside A's reader: $(cat "$work/import.err")"
holds_source "$data_a" garden.xml || fail "A's reader did not subscribe"
# --sync beside the reader is carried out by it.
on a --sync > "$work/a.sync.out" 2> "$work/a.sync.err" || fail "--sync beside A's reader ended with $?: $(cat "$work/a.sync.err")"
grep -q '^Merged with the sync folder' "$work/a.sync.out" || fail "--sync beside A's reader printed: $(cat "$work/a.sync.out")"

# B merges until both arrived.
arrived_b() {
  on b --sync > "$work/b.sync.out" 2> "$work/b.sync.err" || return 1
  is_read "$data_b" "$town_b" town-2 && holds_source "$data_b" garden.xml
}
for _ in $(seq 60); do arrived_b && break; sleep 1; done
arrived_b || fail "within 60 s B did not get A's read mark and subscription: $(cat "$work/b.sync.out" "$work/b.sync.err")"
echo "A to B: the read mark and the subscription merged on B $(($(now_ms) - read_at)) ms after the mark"
grep -A6 '^\[town-1\]' "$data_b/$town_b/inbox.dat" | grep -q '^read=0' || fail "B's other message changed"

# The other way: B subscribes; A's running reader takes it in by itself (watcher or 30 s look).
printf '<?xml version="1.0"?><opml version="2.0"><body><outline text="Kitchen Notes" xmlUrl="%s/kitchen.xml?list=news.quillpost.test"/></body></opml>' "$base" > "$work/kitchen.opml"
on b --import-opml "$work/kitchen.opml" > "$work/import.out" 2> "$work/import.err" || fail "--import-opml on B: $(cat "$work/import.err")"
added_at=$(now_ms)
wait_for 600 holds_source "$data_a" kitchen.xml || fail "A's reader did not take in B's subscription within 60 s"
echo "B to A: the subscription showed in A's running reader $(($(now_ms) - added_at)) ms later"
kill -0 "$app" 2>/dev/null || fail "A's reader is not running any more"
[ ! -s "$work/boxes.log" ] || fail "unexpected message boxes: $(cat "$work/boxes.log")"
echo "sync e2e passed"
