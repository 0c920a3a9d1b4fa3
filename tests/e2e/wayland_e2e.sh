#!/usr/bin/env bash
# End-to-end: the real program on a Wayland compositor (weston, headless back-end), driven through
# the accessibility bus, since Wayland gives no program a way to send another one keys: it starts,
# subscribes in the dialog, checks, opens a message with Next Unread and exits through the File menu,
# printing nothing. The drop box is a normal window there. A screenshot of the compositor's
# output goes to QP_SCREENSHOT_DIR when it is set.
#
#   bash tests/e2e/wayland_e2e.sh BUILD_DIR      (no X server needed)
set -euo pipefail
build=$(cd "${1:?usage: wayland_e2e.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }
command -v weston >/dev/null || skip "weston is not installed"
[ -n "$(find /usr/lib -path '*qt6/plugins/platforms/libqwayland-generic.so' -print -quit)" ] || skip "Qt's Wayland platform (qt6-wayland) is not installed"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core is not installed"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"
if [ -z "${QP_IN_SESSION:-}" ]; then
  QP_IN_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$here/e2e_common.sh"
drive() { /usr/bin/python3 "$here/atspi_drive.py" "$@" || fail "could not: $*"; }

/usr/libexec/at-spi-bus-launcher --launch-immediately > /dev/null 2>&1 & pids+=($!)
export XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
weston --backend=headless-backend.so --socket=wl-quillpost --idle-time=0 --width=1280 \
  --height=800 --use-pixman --debug > "$work/weston.log" 2>&1 & pids+=($!)
wait_for 100 test -S "$XDG_RUNTIME_DIR/wl-quillpost" || skip "weston does not start here: $(tail -3 "$work/weston.log")"

item town-1 "Winter market opens" "Fri, 04 Dec 2026" "Town Desk" desk@news.quillpost.test "Winter market opens" "Fri, 04 Dec 2026" "<p>Stalls.</p>" | feed town "Town Weekly"
start_feed_server
rmdir "$data"  # a first start makes its own data folder

export QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=wl-quillpost QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  QUILLPOST_MESSAGE_LOG="$work/boxes.log" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software
"$build/quillpost" > "$work/out.log" 2>&1 & app=$!
pids+=($app)
drive wait "Quillpost (Standard Version)"

drive menu "Message Sources" "Subscribe to New Source"
drive wait "Subscribe"
drive fill "Subscribe" 0 "Town Weekly"
drive fill "Subscribe" 1 "$base/town.xml?list=news.quillpost.test"
drive press "Subscribe" "Subscribe Now"
wait_for 100 grep -q 'Town Weekly' "$data/subscriptions.dat" || fail "the subscription was not stored"
drive press "Subscribe" "No Thanks"
town=$(grep -o 'id="[0-9A-F-]*" title="Town Weekly"' "$data/subscriptions.dat" | cut -d'"' -f2)

drive menu "Message Sources" "Check All Sources for New Messages"
wait_for 300 holds "$town" 1 || fail "the check stored nothing"

drive menu "Tools" "Quillpost DropBox"
drive wait "Quillpost DropBox"

# Next Unread opens the message, unfolding its source, and marks it read.
drive menu "Message Sources" "Next Unread"
wait_for 100 eval "grep -A6 '^\\[town-1\\]' \"\$data/\$town/inbox.dat\" | grep -q '^read=1'" || fail "Next Unread did not open the message"
sleep 2
if [ -n "${QP_SCREENSHOT_DIR:-}" ]; then
  (cd "$QP_SCREENSHOT_DIR" && WAYLAND_DISPLAY=wl-quillpost timeout 10 weston-screenshooter) || echo "no screenshot of the compositor" >&2
fi

drive menu "File" "Exit"
wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "Exit did not end the program"
wait "$app" || fail "the program ended with exit $?"
grep -v 'New Source successfully Added' "$work/boxes.log" | grep -q . && fail "unexpected boxes: $(cat "$work/boxes.log")"
[ ! -s "$work/out.log" ] || fail "the program printed: $(head -5 "$work/out.log")"
echo "wayland e2e passed"
