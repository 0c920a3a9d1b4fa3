#!/usr/bin/env bash
# End-to-end: the real program in a real X session with a notification area (run it under
# xvfb-run). A one-minute schedule in settings.cfg checks both sources with no key pressed and no
# box; `quillpost --check` beside the running reader exits 0 and the reader's tree shows the new
# message while keeping what the user unfolded and selected; three open tabs close with Shift+F4;
# a feed written, checked and rewritten within one second, served as a plain static server
# dates it (Last-Modified only), still brings the rewrite at the next scheduled check; Ctrl+Q
# ends the program and takes its tray icon along. A second start with boxes on the screen:
# Delete answered No with Return leaves the message stored, closed and unread. Screenshots go to
# QP_SCREENSHOT_DIR when it is set.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/scheduler_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: scheduler_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"
# The program's minute, and so the schedule's, is 10 s here.
export QUILLPOST_TEST_MINUTE_MS=10000
start_tray

start_feed_server --plain
own_program
build="$work/program"

# letters NAME TITLE, then lines GUID|DAY|TITLE.
letters() {
  while IFS='|' read -r guid day title; do
    item "$guid" "$title" "$day" "$2 Desk" desk@news.quillpost.test "$title" "$day 09:18:46 GMT" "<p>$title.</p>"
  done | feed "$1" "$2"
}
letters town "Town Weekly" <<'END'
town-2|Sat, 05 Dec 2026|Library extends its hours
town-1|Fri, 04 Dec 2026|Winter market opens
END
letters garden "Garden Letter" <<<'garden-1|Tue, 01 Dec 2026|Mulch before the frost'
subscribe "Town Weekly|$base/town.xml" "Garden Letter|$base/garden.xml"
town=${ids[0]} garden=${ids[1]}
read_flag() { grep -A6 "^\[$2\]" "$data/$1/inbox.dat" | grep -o '^read=[01]'; }
is_read() { [ "$(read_flag "$1" "$2")" = read=1 ]; }
# Rows of the tree by their place from the top (sources sorted by title: Garden Letter first).
save_dialog() { xdotool search --onlyvisible --name '^Save Article Description as' >/dev/null 2>&1; }
tray_icons() { xwininfo -children -id "$(xdotool search --name '^panel$' | head -1)" | grep -c ' 22x22+' || true; }

# The schedule checks by itself, without any key press and without a box.
scheduler 1 0
start_program
wait_for 300 holds "$town" 2 || fail "no automatic check within 30 s"
wait_for 100 holds "$garden" 1 || fail "the automatic check left out a source"
sleep 1
expect_quiet_end
shot unread-counts

# Town Weekly unfolded, its newest message selected; a new letter arrives through --check.
focus_main
row 1 && key Right Down
letters garden "Garden Letter" <<'END'
garden-2|Sun, 06 Dec 2026|Seed swap season
garden-1|Tue, 01 Dec 2026|Mulch before the frost
END
out=$(cd "$work" && "$build/quillpost" --check 2>&1) || fail "--check beside the reader: exit $?: $out"
grep -q 'You have 1 New Messages' <<< "$out" || fail "--check printed no summary: $out"
holds "$garden" 2 || fail "the reader did not store the new message"
sleep 1
shot check-beside-reader
# The selection survived the reload: Return opens it. The new message is in the tree.
focus_main && key Return
wait_for 100 is_read "$town" town-2 || fail "the check lost the selected message"
row 0 && key Right Right Return
wait_for 100 is_read "$garden" garden-2 || fail "the tree does not show the new message"
row 2 && key Return
wait_for 100 is_read "$garden" garden-1 || fail "the third message did not open"

# Three tabs open; Shift+F4 closes them all, so Save As has nothing to save.
focus_main && key ctrl+s
wait_for 50 save_dialog || fail "Save As shows no dialog for the open message"
# Without a window manager nobody gives the dialog the focus: Escape must reach it.
xdotool windowfocus --sync "$(window_named 5 '^Save Article Description as')" 2>/dev/null || true
sleep 0.3 && key Escape
no_save_dialog() { ! save_dialog; }
wait_for 100 no_save_dialog || fail "Escape did not close the Save As dialog"
focus_main && key shift+F4 && sleep 1 && key ctrl+s && sleep 2
no_save_dialog || fail "a document is still open after Close All"
shot tabs-closed

# Written, checked and rewritten within one second: the rewrite carries the date of the answer
# the check stored, and a plain static server would answer it 304 until the feed changed again.
sleep "$(awk "BEGIN { print 1 - $(date +%N) / 1e9 }")"
second=$(date +%s)
garden_letters() {
  printf '%s\n' "${@/%/|Mon, 07 Dec 2026|Letter}" 'garden-2|Sun, 06 Dec 2026|Seed swap season' \
    'garden-1|Tue, 01 Dec 2026|Mulch before the frost' | letters garden "Garden Letter"
}
garden_letters garden-3
out=$(cd "$work" && "$build/quillpost" --check 2>&1) || fail "--check beside the reader: exit $?: $out"
holds "$garden" 3 || fail "--check did not store the new letter"
garden_letters garden-4 garden-3
[ "$(date +%s)" = "$second" ] || echo "note: the rewrite came after the check's second" >&2
wait_for 300 holds "$garden" 4 || fail "the letter rewritten within the check's second never arrived"
expect_quiet_end

# Into the tray and back; Ctrl+Q ends the program and its icon goes with it.
key ctrl+t
wait_for 50 test "$(tray_icons)" = 1 || fail "no tray icon after Minimize to System Tray"
xdotool mousemove "$(($(xdotool search --name '^panel$' getwindowgeometry %1 | grep -o 'Position: [0-9]*' | grep -o '[0-9]*') + 108))" 788 click --repeat 2 1
wait_for 50 xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null || fail "the tray icon does not bring the window back"
focus_main && key ctrl+q
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Ctrl+Q did not end the program"
wait "$app" || fail "the program ended with exit $?"
[ "$(tray_icons)" = 0 ] || fail "the tray icon stayed after the program ended"
[ ! -s "$work/boxes.log" ] || fail "unexpected message boxes"

# Boxes on the screen: Delete, then No with Return. Nothing opens, nothing is deleted or read.
scheduler 0 0
real_boxes=1 start_program
row 1 && key Right
row 3 3
xdotool mousemove_relative -- 40 34 click 1  # the popup's "Delete"
window_named 20 '^Delete selected Item\?$' >/dev/null || fail "no delete question"
sleep 0.5 && key Return
sleep 1.5
! xdotool search --onlyvisible --name '^Delete selected Item\?$' >/dev/null 2>&1 || fail "the question stayed open"
[ "$(read_flag "$town" town-1)" = read=0 ] || fail "the message was deleted or marked read"
focus_main && key ctrl+s && sleep 1
! save_dialog || fail "the Return that closed the box opened the message"
shot delete-answered-no
focus_main && key ctrl+q
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Ctrl+Q did not end the program"
echo "scheduler e2e passed"
