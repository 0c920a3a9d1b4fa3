#!/usr/bin/env bash
# End-to-end: the real program in a real X session (run it under xvfb-run) checks two loopback
# feeds (Ctrl+F5), opens the first source's newest message from the keyboard, subscribes to a
# third feed in the dialog (Ctrl+N), checks again and toggles the drop box (F9): all stored once,
# the message read and rendered, no box but the subscription's, the program still up. Screenshots
# go to QP_SCREENSHOT_DIR when it is set.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/reader_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: reader_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"

# A notification area makes it a real desktop session when there is one.
if command -v trayer >/dev/null; then trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 24 >/dev/null 2>&1 & pids+=($!); fi

# letters NAME TITLE SENDER ADDRESS, then lines GUID|DAY|TITLE|BODY.
letters() {
  while IFS='|' read -r guid day title body; do
    item "$guid" "$title" "$day" "$3" "$4" "$title" "$day 09:18:46 GMT" "<h2>$title</h2>$body"
  done | feed "$1" "$2"
}
letters town "Town Weekly" "Town Desk" desk@news.quillpost.test <<'END'
town-1|Fri, 04 Dec 2026|Winter market opens|<p>Forty stalls, hot cider and a choir.</p>
town-2|Sat, 05 Dec 2026|Library extends its hours|<p>Open until nine on weekdays.</p>
END
letters garden "Garden Letter" "Ann Gardener" ann@news.quillpost.test <<'END'
garden-1|Tue, 01 Dec 2026|Mulch before the frost|<p>A thick layer keeps the roots warm.</p>
garden-3|Sat, 05 Dec 2026|Seed swap season|<p>Seed swap season is here.</p><ul><li>Saturday at the library</li></ul>
END
letters kitchen "Kitchen Notes" "Cook" cook@news.quillpost.test <<'END'
kitchen-1|Sat, 05 Dec 2026|Bread without kneading|<p>Mix in the evening, bake in the morning.</p>
END

start_feed_server
subscribe "Town Weekly|$base/town.xml" "Garden Letter|$base/garden.xml"
town=${ids[0]} garden=${ids[1]}
start_program
check_all "$town=2" "$garden=2"
shot main-window-after-check

# The tree shows Garden Letter first; its newest message is garden-3.
key Home Right Down Return
is_read() { grep -A6 "^\[$2\]" "$data/$1/inbox.dat" | grep -q '^read=1'; }
wait_for 150 is_read "$garden" garden-3 || fail "the opened message was not marked read"
grep -q 'Seed swap season is here' "$data/item.htm" || fail "the rendered page lacks the message body"
sleep 3  # the web view renders
shot message-open
[ ! -s "$work/boxes.log" ] || fail "unexpected message boxes"

# Subscribe to a third feed through the dialog; the link names the service host in its query.
key ctrl+n
window_named 20 "Subscribe to New Message Source" >/dev/null || fail "no subscribe dialog"
sleep 0.5
xdotool type --delay 20 "Kitchen Notes" && key Tab && xdotool type --delay 20 "$base/kitchen.xml?list=news.quillpost.test" && key Return
wait_for 100 grep -q 'Kitchen Notes' "$data/subscriptions.dat" || fail "the subscription was not stored"
grep -q 'New Source successfully Added to Subscription List!' "$work/boxes.log" || fail "no confirmation"
: > "$work/boxes.log"
key Escape
sleep 0.5
kitchen=$(grep -o 'id="[0-9A-F-]*" title="Kitchen Notes"' "$data/subscriptions.dat" | cut -d'"' -f2)
[ -n "$kitchen" ] || fail "the new source has no identifier"
# The second check stores the new source's messages and nothing twice.
check_all "$kitchen=1" "$town=2" "$garden=2"

# The drop box over the main window.
key F9 && sleep 1 && shot drop-box && key F9
expect_quiet_end
echo "reader e2e passed"
