#!/usr/bin/env bash
# End-to-end: the program's notices and the desktop's notification service, in a real X session
# (run it under xvfb-run). Three sessions:
# - a private session bus with a real notification daemon (dunst): a check's summary goes to the
#   daemon (recorded with dbus-monitor) with the program's icon, a second notice replaces the
#   first, and the notice's default action brings the hidden window back;
# - a private bus without any daemon and without activation: the program's own notice shows;
# - no session bus at all: the program starts no bus of its own and prints nothing.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/notifications_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: notifications_e2e.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ "${QP_IN_SESSION:-}" = "" ]; then
  for tool in dbus-run-session dbus-monitor dunst dunstctl; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
  done
fi
source "$here/e2e_common.sh"
export HOME="$work/home"
mkdir -p "$HOME"

item town-1 "Winter market opens" "Fri, 04 Dec 2026" "Town Desk" desk@news.quillpost.test "Winter market opens" "Fri, 04 Dec 2026" "<p>Stalls.</p>" | feed town "Town Weekly"
start_feed_server
subscribe "Town & Country|$base/town.xml"
town=${ids[0]}
notice_window() { xdotool search --onlyvisible --name '^Quillpost notice$' >/dev/null 2>&1; }

case "${QP_IN_SESSION:-}" in
daemon)
  dbus-monitor --session "interface='org.freedesktop.Notifications'" "type='method_return'" > "$QP_MONITOR_LOG" 2>&1 & pids+=($!)
  start_tray
  dunst > "$work/dunst.log" 2>&1 & pids+=($!)
  wait_for 50 eval 'dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications | grep -q true' || fail "dunst did not take the bus name"
  start_program
  check_all "$town=1"
  wait_for 50 grep -q 'You have 1 New Messages' "$QP_MONITOR_LOG" || fail "no notice reached the daemon"
  ! notice_window || fail "the program's own notice showed beside the daemon's"
  # A second notice replaces the first.
  item town-2 "Library hours" "Sat, 05 Dec 2026" "Town Desk" desk@news.quillpost.test "Library hours" "Sat, 05 Dec 2026" "<p>Nine.</p>" | feed town "Town Weekly"
  check_all "$town=2"
  wait_for 50 eval '[ "$(grep -c "member=Notify" "$QP_MONITOR_LOG")" -ge 2 ]' || fail "no second notice"
  [ "$(dunstctl count displayed)" = 1 ] || fail "the second notice did not replace the first: $(dunstctl count displayed) shown"
  # The default action brings back the window hidden in the notification area.
  focus_main && key ctrl+t
  wait_for 50 eval '! xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null 2>&1' || fail "the window did not go into the tray"
  dunstctl action
  wait_for 50 xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null || fail "the notice's action did not show the window"
  expect_quiet_end
  ;;
own)
  start_program
  check_all "$town=1"
  wait_for 50 notice_window || fail "without a notification service the program's own notice did not show"
  expect_quiet_end
  ;;
nobus)
  start_program
  check_all "$town=1"
  wait_for 50 notice_window || fail "without a bus the program's own notice did not show"
  expect_quiet_end
  [ ! -s "$work/out.log" ] || fail "the program printed without a session bus: $(cat "$work/out.log")"
  [ ! -e "$HOME/.dbus" ] || fail "a session bus was started in the home folder"
  ;;
*)
  # Outer run: each session on its bus, then no bus at all.
  monitor="$work/monitor.log"
  QP_IN_SESSION=daemon QP_MONITOR_LOG="$monitor" dbus-run-session -- bash "$0" "$build" || exit 1
  # What the daemon received: the program's name and icon, the summary, the default action.
  grep -q 'string "Quillpost"' "$monitor" && grep -q 'string "quillpost"' "$monitor" || fail "the notice lacks the program's name or icon"
  grep -q 'string "default"' "$monitor" || fail "the notice has no default action"
  grep -q 'Town &amp; Country' "$monitor" || fail "the title was not escaped for the daemon's markup"
  # The second Notify names the notice it replaces.
  [ "$(grep -A2 'member=Notify' "$monitor" | grep -c 'uint32 [1-9]')" = 1 ] || fail "the second notice did not name the first"
  [ -z "${QP_SCREENSHOT_DIR:-}" ] || cp "$monitor" "$QP_SCREENSHOT_DIR/notification-monitor.log"
  # A bus with no service directories: nothing can be activated.
  printf '<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN" "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd"><busconfig><type>session</type><listen>unix:tmpdir=%s</listen><policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>' "$work" > "$work/bare.conf"
  QP_IN_SESSION=own dbus-run-session --config-file="$work/bare.conf" -- bash "$0" "$build" || exit 1
  # No session bus: nothing on standard error, no bus started in the home folder.
  env -u DBUS_SESSION_BUS_ADDRESS QP_IN_SESSION=nobus bash "$0" "$build" || exit 1
  echo "notifications e2e passed"
  ;;
esac
