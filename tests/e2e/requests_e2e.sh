#!/usr/bin/env bash
# End-to-end: what other processes and the user ask of a running reader while a source hangs, in
# a real X session (run it under xvfb-run). The program's minute is shortened to 4 s.
# - `--check` beside the reader: one transfer per source, one time-out long; the tree stays
#   usable and no busy window shows; it prints what a check of its own prints. Ctrl+C stops the
#   reader's run at once.
# - Ctrl+F5 during that run shows it in the busy window; Escape in the main window leaves it
#   running, Escape in the busy window stops it, and --check says so.
# - With a dialog open, --check gets the busy text after a minute; a due scheduled check waits
#   for a Delete box, so answering Yes deletes at once.
# - A second start shows the running reader's window; a second start with -s ends quietly;
#   --import-opml beside the reader is carried out by it.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/requests_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: requests_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"
export QUILLPOST_TEST_MINUTE_MS=4000
start_tray

start_feed_server
# A second server that takes each request and never answers.
"$build/qp_feed_server" --dir "$work/feeds" --latency-ms 600000 --log "$work/hang.log" > "$work/hangport" & pids+=($!)
wait_for 200 test -s "$work/hangport" || fail "the hanging server did not start"
hang="http://127.0.0.1:$(cat "$work/hangport")"
item town-1 "Winter market opens" "Fri, 04 Dec 2026" "Town Desk" desk@news.quillpost.test "Winter market opens" "Fri, 04 Dec 2026" "<p>Stalls.</p>" | feed town "Town Weekly"
subscribe "Hang Letter|$hang/hang.xml" "Town Weekly|$base/town.xml"
town=${ids[1]}

own_program
program="$work/program/quillpost"
scheduler 0 0
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
now_ms() { date +%s%3N; }
# run_check NAME [ARGS]: the check command in the background, its output in NAME.out/.err.
run_check() { "$program" --check > "$work/$1.out" 2> "$work/$1.err" & checkpid=$!; checkstart=$(now_ms); }
# finish_check: waits for it; sets status and took (ms).
finish_check() { set +e; wait "$checkpid"; status=$?; set -e; took=$(($(now_ms) - checkstart)); }
busy_window() { xdotool search --onlyvisible --name '^Quillpost$' 2>/dev/null | head -1; }
busy_shown() { [ -n "$(busy_window)" ]; }
focus_busy() { xdotool windowfocus --sync "$(busy_window)"; sleep 0.3; }
is_read() { grep -A6 "^\[$2\]" "$data/$1/inbox.dat" | grep -q '^read=1'; }

# What a check of its own prints, for comparison: the hanging source times out once.
run_check alone && finish_check
[ "$status" = 1 ] || fail "the headless check ended with $status"
grep -q 'Hang Letter: timed out after 4 s' "$work/alone.err" || fail "the headless check did not time out: $(cat "$work/alone.err")"

start_program
# --check beside the reader: the reader's run is automatic, its tree usable meanwhile.
run_check beside
sleep 1
[ -z "$(busy_window)" ] || fail "a forwarded check showed the busy window"
focus_main && key Home Down Right Down Return
wait_for 50 is_read "$town" town-1 || fail "the tree could not be used during a forwarded check"
finish_check
[ "$status" = 1 ] || fail "--check beside the reader ended with $status"
[ "$took" -lt 7500 ] || fail "--check beside the reader took $took ms: a transfer was tried twice"
diff "$work/alone.err" "$work/beside.err" || fail "--check beside the reader printed other failures"
[ ! -s "$work/beside.out" ] || fail "nothing new, yet --check printed: $(cat "$work/beside.out")"
expect_quiet_end

# Ctrl+C stops the reader's run: the next check starts at once.
run_check interrupted
sleep 1
kill -INT "$checkpid"
finish_check
[ "$status" = 1 ] && [ "$took" -lt 2500 ] || fail "an interrupted --check ended with $status after $took ms"
grep -q 'Check stopped after 0 of 2 sources.' "$work/interrupted.out" || fail "the stop was not reported"
run_check after && finish_check
[ "$took" -lt 6500 ] || fail "the interrupted run went on in the reader ($took ms for the next check)"

# A check asked for by hand during a forwarded run shows it; only the busy window's Escape stops it.
run_check stopped
sleep 1
focus_main && key ctrl+F5
wait_for 30 busy_shown || fail "Ctrl+F5 during a forwarded run showed nothing"
shot busy-window-of-forwarded-run
focus_main && key Escape && sleep 0.5
kill -0 "$checkpid" 2>/dev/null && [ -n "$(busy_window)" ] || fail "Escape in the main window stopped the run"
focus_busy && key Escape
finish_check
[ "$status" = 1 ] && grep -q 'Check stopped after 0 of 2 sources.' "$work/stopped.out" || fail "Escape in the busy window did not stop the run ($status)"
wait_for 20 no_busy_window || fail "the busy window stayed after the stop"
expect_quiet_end

# A dialog open: --check gets the busy text after a minute, and nothing was fetched.
focus_main && key ctrl+F4
window_named 20 'Preferences' >/dev/null || fail "no Preferences dialog"
requests=$(wc -l < "$work/hang.log")
run_check busy && finish_check
[ "$status" = 2 ] && grep -q 'has been busy for a minute' "$work/busy.err" || fail "--check beside a dialog ended with $status: $(cat "$work/busy.err")"
[ "$(wc -l < "$work/hang.log")" = "$requests" ] || fail "a check ran while the dialog was open"
key Escape && sleep 0.5

# A second start brings the reader's window up; with -s it ends quietly.
focus_main && key ctrl+t
wait_for 30 eval '! xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null 2>&1' || fail "the window did not go"
start=$(now_ms)
"$program" > "$work/second.log" 2>&1 || fail "the second start ended with $?"
[ $(($(now_ms) - start)) -lt 5000 ] || fail "the second start took too long"
wait_for 30 xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null || fail "the second start did not show the reader"
"$program" -s > "$work/second.log" 2>&1 || fail "the second start with -s ended with $?"

# --import-opml beside the reader: the command reads the file, the reader subscribes and shows it.
item garden-1 "Mulch before the frost" "Tue, 01 Dec 2026" "Ann" ann@news.quillpost.test "Mulch" "Tue, 01 Dec 2026" "<p>Mulch.</p>" | feed garden "Garden Letter"
printf '<?xml version="1.0"?><opml version="2.0"><body><outline text="Garden Letter" xmlUrl="%s/garden.xml?news.quillpost.test"/><outline text="Town Weekly" xmlUrl="%s/town.xml"/></body></opml>' "$base" "$base" > "$work/sources.opml"
(cd / && "$program" --import-opml "$work/sources.opml") > "$work/import.out" 2> "$work/import.err" && status=0 || status=$?
[ "$status" = 1 ] || fail "--import-opml beside the reader ended with $status: $(cat "$work/import.err")"
grep -q '^1 source added from' "$work/import.out" && grep -q 'not imported: "Town Weekly"' "$work/import.err" || fail "--import-opml printed: $(cat "$work/import.out" "$work/import.err")"
focus_main && row 0 && key F5
wait_for 50 grep -q '^GET /garden.xml' "$work/requests.log" || fail "the reader's tree does not show the imported source"
[ ! -s "$work/second.log" ] && [ ! -s "$work/boxes.log" ] || fail "a second start said something"
! grep -rq 'Task Manager' "$work"/*.err "$work"/*.out "$work/second.log" "$work/boxes.log" || fail "a switch printed the refusal"
focus_main && key ctrl+q
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Ctrl+Q did not end the program"

# A scheduled check falls due while a Delete box is open: it waits, and Yes deletes at once.
scheduler 1 0
real_boxes=1 start_program
row 2 && key Right  # Town Weekly, after Garden Letter and Hang Letter
row 3 3
xdotool mousemove_relative -- 40 34 click 1  # the popup's "Delete"
window_named 20 '^Delete selected Item\?$' >/dev/null || fail "no delete question"
requests=$(wc -l < "$work/hang.log")
sleep 6
[ "$(wc -l < "$work/hang.log")" = "$requests" ] || fail "a scheduled check started while the box was open"
key alt+y
wait_for 10 eval '! grep -q "^\[town-1\]" "$data/$town/inbox.dat"' || fail "the deletion waited"
done_box=$(window_named 20 '^Done!$' | head -1) || fail "no confirmation of the deletion"
xdotool windowfocus --sync "$done_box" && sleep 0.3 && key Return
wait_for 30 eval '[ "$(wc -l < "$work/hang.log")" -gt "$requests" ]' || fail "the due check did not follow the box"
focus_main && key ctrl+q
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Ctrl+Q did not end the program"

# Checking at start with a hanging source: Ctrl+F5 shows that run instead of doing nothing.
scheduler 0 1
start_program
focus_main && key ctrl+F5
wait_for 30 busy_shown || fail "Ctrl+F5 during the check at start showed nothing"
focus_busy && key Escape
wait_for 30 no_busy_window || fail "the start-up check did not stop"
expect_quiet_end
echo "requests e2e passed"
