#!/usr/bin/env bash
# End-to-end: what a screen reader reads of the program, through the accessibility bus (AT-SPI)
# under Xvfb. The tree's rows say their state ("Town Weekly, 2 unread"; "Winter market opens,
# unread, 4 Dec 2026"); the busy window says what it checks; the notice and a box say their
# text; the page of a message opened with Next Unread is readable. With QP_SCREENSHOT_DIR the
# main window's accessibility tree is saved there as a11y-dump.txt.
#
#   xvfb-run -a bash tests/e2e/accessibility_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: accessibility_e2e.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core is not installed"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
if [ -z "${QP_IN_SESSION:-}" ]; then
  # A bus of its own without activation: no notification service starts, the own notice shows.
  conf=$(mktemp)
  trap 'rm -f "$conf"' EXIT
  printf '<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN" "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd"><busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>' > "$conf"
  QP_IN_SESSION=1 dbus-run-session --config-file="$conf" -- bash "$0" "$@"
  exit $?
fi
source "$here/e2e_common.sh"
drive() { /usr/bin/python3 "$here/atspi_drive.py" "$@" || fail "could not: $*"; }
dump() { /usr/bin/python3 "$here/atspi_drive.py" dump > "$work/dump.txt" || fail "no accessibility tree"; }
# reads TEXT...: each text is somewhere in the program's accessibility tree (tried for 10 s).
reads() {
  for text in "$@"; do
    for _ in $(seq 20); do dump; grep -qF -- "$text" "$work/dump.txt" && continue 2; sleep 0.5; done
    cp "$work/dump.txt" /tmp/a11y-failed-dump.txt 2>/dev/null || true
    fail "the accessibility tree does not say \"$text\""
  done
}

/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 & pids+=($!)
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

start_feed_server
"$build/qp_feed_server" --dir "$work/feeds" --latency-ms 600000 --log "$work/hang.log" > "$work/hangport" & pids+=($!)
wait_for 200 test -s "$work/hangport" || fail "the hanging server did not start"
hang="http://127.0.0.1:$(cat "$work/hangport")"
{
  item town-1 "Winter market opens" "Fri, 04 Dec 2026" "Town Desk" desk@news.quillpost.test "Winter market opens" "Fri, 04 Dec 2026" "<p>Stalls along the river.</p>"
  item town-2 "Bread at dawn" "Sat, 05 Dec 2026" "Town Desk" desk@news.quillpost.test "Bread at dawn" "Sat, 05 Dec 2026" "<p>The bakery opens early.</p>"
} | feed town "Town Weekly"
subscribe "Town Weekly|$base/town.xml"
town=${ids[0]}
real_boxes=1
start_program
check_all "$town=2"
reads "Town Weekly, 2 unread" "You have 2 New Messages"

# Next Unread unfolds the source and opens its newest message.
drive menu "Message Sources" "Next Unread"
reads "Town Weekly, 1 unread" "Bread at dawn, 5 Dec 2026" "Winter market opens, unread, 4 Dec 2026" \
  "The bakery opens early."
grep -q '^read=1' <(grep -A6 '^\[town-2\]' "$data/$town/inbox.dat") || fail "Next Unread did not mark the message read"
dump
[ -z "${QP_SCREENSHOT_DIR:-}" ] || cp "$work/dump.txt" "$QP_SCREENSHOT_DIR/a11y-dump.txt"

# A source that never answers keeps the busy window up: it says what it checks.
drive menu "File" "Exit"
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Exit did not end the program"
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n<source id="%s" title="Town Weekly">%s</source>\r\n</sources>\r\n' "$town" "$hang/hang.xml" > "$data/subscriptions.dat"
start_program
drive menu "Message Sources" "Check All Sources for New Messages"
reads "Checking for New Messages" "Town Weekly"
focus_busy() { xdotool windowfocus --sync "$(xdotool search --onlyvisible --name '^Quillpost$' | head -1)"; sleep 0.3; }
focus_busy && key Escape
wait_for 300 no_busy_window || fail "Escape did not end the run"
reads "Check stopped after 0 of 1 source."

# A box's text.
drive menu "Help" "About"
reads "A desktop reader for newsletter channels"
drive press "About Quillpost" "OK"
drive gone "About Quillpost"

drive menu "File" "Exit"
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Exit did not end the program"
echo "accessibility e2e passed"
