#!/usr/bin/env bash
# End-to-end: the real program in a real X session (run it under xvfb-run). Subscribed to two
# newsletter feeds on the loopback feed server, it checks all sources (Ctrl+F5), opens the
# newest message of the first source from the keyboard, subscribes to a third feed through the
# subscribe dialog (Ctrl+N), checks again and opens the drop box (F9). It must have stored
# everything, marked the message read, rendered it, shown no message box but the subscription's
# confirmation, and still be running.
# With QP_SCREENSHOT_DIR set, screenshots of the main moments are written there.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/reader_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: reader_e2e.sh BUILD_DIR}" && pwd)
shots=${QP_SCREENSHOT_DIR:-}
here=$(cd "$(dirname "$0")" && pwd)

source "$here/e2e_common.sh"

# A window manager and a notification area make it a real desktop session when they exist.
if command -v trayer >/dev/null; then trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 24 >/dev/null 2>&1 & pids+=($!); fi

mkdir -p "$work/feeds" "$work/run" "$work/data/Quillpost Data"
bash "$here/make_sample_feeds.sh" "$work/feeds"

start_feed_server "$work/feeds"

id1=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
id2=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n<source id="%s" title="Town Weekly">http://127.0.0.1:%s/town.xml</source>\r\n<source id="%s" title="Garden Letter">http://127.0.0.1:%s/garden.xml</source>\r\n</sources>\r\n' \
  "$id1" "$port" "$id2" "$port" > "$work/data/Quillpost Data/subscriptions.dat"

export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
# A real X session, whatever the test runner set for the other tests.
export QT_QPA_PLATFORM=xcb
export QUILLPOST_MESSAGE_LOG="$work/boxes.log" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software
: > "$work/boxes.log"
"$build/quillpost" > "$work/out.log" 2>&1 &
app=$!
pids+=($app)

wid=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillpost \(Standard Version\)" | head -1) ||
  fail "no main window"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1

xdotool key --clearmodifiers ctrl+F5
inbox1="$work/data/Quillpost Data/$id1/inbox.dat"
inbox2="$work/data/Quillpost Data/$id2/inbox.dat"
for _ in $(seq 300); do
  [ -s "$inbox1" ] && [ -s "$inbox2" ] && break
  sleep 0.1
done
[ -s "$inbox1" ] && [ -s "$inbox2" ] || fail "the check run stored nothing"
sleep 1.5  # the busy window closes and the summary notice appears
[ "$(grep -c '^\[' "$inbox1")" -eq 3 ] || fail "Town Weekly should hold 3 messages"
[ "$(grep -c '^\[' "$inbox2")" -eq 3 ] || fail "Garden Letter should hold 3 messages"
[ -n "$shots" ] && import -window root "$shots/main-window-after-check.png"

# The tree shows Garden Letter first; its newest message is garden-3.
xdotool key --clearmodifiers Home Right Down Return
page="$work/data/Quillpost Data/item.htm"
for _ in $(seq 150); do
  grep -q -A6 '^\[garden-3\]' "$inbox2" 2>/dev/null && grep -A6 '^\[garden-3\]' "$inbox2" | grep -q '^read=1' && break
  sleep 0.1
done
grep -A6 '^\[garden-3\]' "$inbox2" | grep -q '^read=1' || fail "the opened message was not marked read"
[ -s "$page" ] || fail "no rendered page"
grep -q 'Seed swap season' "$page" || fail "the rendered page lacks the message body"
sleep 3  # the web view renders
[ -n "$shots" ] && import -window root "$shots/message-open.png"

[ -s "$work/boxes.log" ] && fail "unexpected message boxes"

# Subscribe to a third feed through the dialog; the link names the service host in its query.
xdotool key --clearmodifiers ctrl+n
timeout 20 xdotool search --sync --onlyvisible --name "Subscribe to New Message Source" >/dev/null ||
  fail "no subscribe dialog"
sleep 0.5
xdotool type --delay 20 "Kitchen Notes"
xdotool key --clearmodifiers Tab
xdotool type --delay 20 "http://127.0.0.1:$port/kitchen.xml?list=news.quillpost.test"
xdotool key --clearmodifiers Return
for _ in $(seq 100); do grep -q 'Kitchen Notes' "$work/data/Quillpost Data/subscriptions.dat" && break; sleep 0.1; done
grep -q 'Kitchen Notes' "$work/data/Quillpost Data/subscriptions.dat" || fail "the subscription was not stored"
grep -q 'New Source successfully Added to Subscription List!' "$work/boxes.log" || fail "no confirmation"
: > "$work/boxes.log"
xdotool key --clearmodifiers Escape
sleep 0.5
id3=$(grep -o 'id="[0-9A-F-]*" title="Kitchen Notes"' "$work/data/Quillpost Data/subscriptions.dat" | cut -d'"' -f2)
[ -n "$id3" ] || fail "the new source has no identifier"

# Without a window manager nobody hands the focus back to the main window.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+F5
inbox3="$work/data/Quillpost Data/$id3/inbox.dat"
for _ in $(seq 300); do [ -s "$inbox3" ] && break; sleep 0.1; done
[ "$(grep -c '^\[' "$inbox3" 2>/dev/null)" = 2 ] || fail "the new source's messages were not stored"
sleep 1.5
[ "$(grep -c '^\[' "$inbox1")" -eq 3 ] || fail "a second check stored Town Weekly's messages again"

# The drop box over the main window.
xdotool key --clearmodifiers F9
sleep 1
[ -n "$shots" ] && import -window root "$shots/drop-box.png"
xdotool key --clearmodifiers F9

kill -0 "$app" 2>/dev/null || fail "the program is not running any more"
[ -s "$work/boxes.log" ] && fail "unexpected message boxes"
echo "reader e2e passed"
