#!/usr/bin/env bash
# End-to-end: a dark desktop theme as a desktop really sets one (Qt's GTK platform theme under
# GTK_THEME=Adwaita:dark), in a real X session (run it under xvfb-run). The windows follow it,
# the busy window included; a message that sets no colours of its own is shown dark with light
# text, one that sets them is shown as sent, on its light sheet. Judged from screenshots.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/theme_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: theme_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"
command -v import >/dev/null && command -v convert >/dev/null || { echo "SKIP: ImageMagick is not installed"; exit 77; }
[ -n "$(find /usr/lib -path '*platformthemes/libqgtk3.so' -print -quit 2>/dev/null)" ] || { echo "SKIP: Qt's GTK platform theme (qt6-gtk-platformtheme) is not installed"; exit 77; }
export QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark

paragraphs() { for i in $(seq 30); do printf '<p>Line %s of a letter about the winter market and its stalls.</p>' "$i"; done; }
{
  item plain "Plain letter" "Sat, 05 Dec 2026" "Town Desk" desk@news.quillpost.test "Plain letter" "Sat, 05 Dec 2026" "$(paragraphs)"
  item styled "Styled letter" "Fri, 04 Dec 2026" "Town Desk" desk@news.quillpost.test "Styled letter" "Fri, 04 Dec 2026" "<table bgcolor=\"#ffffff\" width=\"100%\"><tr><td style=\"color:#222222\">$(paragraphs)</td></tr></table>"
} | feed town "Town Weekly"
start_feed_server
# A second server that answers slowly keeps the busy window up for a screenshot.
"$build/qp_feed_server" --dir "$work/feeds" --latency-ms 4000 > "$work/slowport" & pids+=($!)
wait_for 200 test -s "$work/slowport" || fail "the slow server did not start"
subscribe "Town Weekly|$base/town.xml" "Slow Letters|http://127.0.0.1:$(cat "$work/slowport")/town.xml"
town=${ids[0]}

# mean X Y W H: the mean lightness (0 to 1) of that part of the screen; max: its lightest point.
grab() { import -window root "$work/screen.png"; }
mean() { convert "$work/screen.png" -crop "$3x$4+$1+$2" -colorspace Gray -format '%[fx:mean]' info:; }
lightest() { convert "$work/screen.png" -crop "$3x$4+$1+$2" -colorspace Gray -format '%[fx:maxima]' info:; }
below() { awk "BEGIN { exit !($1 < $2) }"; }
above() { awk "BEGIN { exit !($1 > $2) }"; }

start_program
focus_main && key ctrl+F5
wait_for 50 eval 'xdotool search --onlyvisible --name "^Quillpost$" >/dev/null 2>&1' || fail "no busy window"
sleep 0.5 && grab
busy=$(xdotool search --onlyvisible --name '^Quillpost$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$busy")"
busy_mean=$(mean $((X + 20)) $((Y + 20)) $((WIDTH - 40)) $((HEIGHT - 40)))
below "$busy_mean" 0.45 || fail "the busy window is light on a dark desktop ($busy_mean)"
wait_for 100 holds "$town" 2 || fail "the check stored nothing"
wait_for 100 no_busy_window || fail "the check does not end"
grab
tree_mean=$(mean 10 200 250 250)
below "$tree_mean" 0.45 || fail "the main window is light on a dark desktop ($tree_mean)"

# Rows of the tree: Slow Letters, Town Weekly, then Town's messages newest first: Plain, Styled.
row() { xdotool mousemove --window "$wid" 120 $((102 + 18 * $1)) click 1; sleep 0.3; }
focus_main && key Home Down Right Down Return
sleep 4 && grab && shot dark-plain-message
plain_mean=$(mean 360 430 520 200)
below "$plain_mean" 0.4 || fail "a message without colours of its own is not dark ($plain_mean)"
above "$(lightest 360 430 520 200)" 0.6 || fail "the dark message's text is not light"
row 3 && key Return  # Styled letter
sleep 4 && grab && shot dark-styled-message
styled_mean=$(mean 360 430 520 200)
above "$styled_mean" 0.7 || fail "a message with colours of its own is not on its light sheet ($styled_mean)"
expect_quiet_end
echo "theme e2e passed (busy $busy_mean, tree $tree_mean, plain $plain_mean, styled $styled_mean)"
