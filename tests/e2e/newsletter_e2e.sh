#!/usr/bin/env bash
# End-to-end: newsletters in the real program (run it under xvfb-run), as a user starts it: no
# QT_QUICK_BACKEND, so the web engine chooses how to draw by itself. In three starts the program
# opens newsletters of the corpus (a 650-pixel one in a reading column of 480 pixels among them)
# and zooms one with Ctrl+Plus: the zoom is kept for its source in settings.cfg, the tracking
# pictures are never asked for, and nothing reaches standard error or output (the web engine once
# wrote "ContextResult::kTransientFailure" there in most runs under Xvfb). Screenshots go to
# QP_SCREENSHOT_DIR when it is set.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/newsletter_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: newsletter_e2e.sh BUILD_DIR}" && pwd)
corpus=$(cd "$(dirname "$0")/../fixtures/newsletters" && pwd)
source "$(dirname "$0")/e2e_common.sh"

start_feed_server
# Newest first in the tree: the 650-pixel letter, then the others. Their pictures and tracking
# pictures come from the loopback server.
letters=(02-own-colours-650 04-two-columns-600 15-dark-own-colours-620 30-no-tables-wide-pictures 11-preheader-spacers)
{
  day=28
  for name in "${letters[@]}"; do
    body=$(sed "s|https://img.news.quillpost.test/|$base/|g; s|https://t.news.quillpost.test/open/|$base/open-|g" "$corpus/$name.htm")
    item "$name" "Letter $name" "Mon, $day Dec 2026" "Town Desk" desk@news.quillpost.test "Letter $name" "Mon, $day Dec 2026" "$body"
    day=$((day - 1))
  done
} | feed town "Town Weekly"
# The pictures, of their declared sizes, where ImageMagick can draw them (else they stay broken).
if command -v convert >/dev/null; then
  for picture in $(for name in "${letters[@]}"; do grep -o 'img\.news\.quillpost\.test/[a-z0-9-]*-[0-9]*x[0-9]*\.png' "$corpus/$name.htm"; done | sort -u); do
    size=${picture##*-} && size=${size%.png}
    convert -size "$size" gradient:'#4682b4-#b0c4de' "$work/feeds/${picture##*/}"
  done
fi
subscribe "Town Weekly|$base/town.xml"
town=${ids[0]}

# A copy of the program of its own (its settings.cfg lies beside it), started without the
# drawing backend the other scripts choose.
mkdir -p "$work/prog" && cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/prog/"
printf '#!/bin/sh\nunset QT_QUICK_BACKEND\nexec "%s/prog/quillpost" "$@"\n' "$work" > "$work/prog/start"
chmod +x "$work/prog/start"
program="$work/prog/start"
# The source's pictures are always shown: only the tracking pictures must never be asked for.
printf '[pictures]\r\n%s=1\r\n' "$town" > "$work/prog/settings.cfg"

# open ROW: the source's message in that row (0 the newest), opened from the keyboard; the open
# page keeps the keyboard, so a click on the tree's free space gives it back first.
open_row() {
  focus_main
  xdotool mousemove --window "$wid" 140 500 click 1 && sleep 0.3
  key Home Right
  for _ in $(seq 0 "$1"); do key Down; done
  key Return
  sleep 2
  # A web view drawn through OpenGL makes the window anew (a new X window).
  wid=$(window_named 10 "Quillpost \(Standard Version\)") || fail "no main window"
}
quit() {
  focus_main && key ctrl+q
  wait_for 100 eval '! kill -0 "$app" 2>/dev/null' || fail "the program did not end"
  wait "$app" 2>/dev/null || true
  [ ! -s "$work/out.log" ] || fail "the program wrote on standard error or output: $(cat "$work/out.log")"
}

for round in 1 2 3; do
  start_program
  [ "$round" != 1 ] || check_all "$town=5"
  if [ "$round" = 1 ]; then
    # The tree keeps its width: the rest of 766 pixels is a reading column of 480.
    xdotool windowsize --sync "$wid" 766 760 && sleep 1
    open_row 0
    sleep 1 && shot newsletter-480
    xdotool windowsize --sync "$wid" 1280 760
    # A click beside the letter's text gives the page the keyboard.
    xdotool mousemove --window "$wid" 292 400 click 1 && sleep 0.3
    key ctrl+plus
    wait_for 50 grep -q "^$town=110" "$work/prog/settings.cfg" || fail "the zoom was not kept for the source"
  fi
  for row in 1 2 3 4; do open_row "$row"; done
  expect_quiet_end
  quit
done

grep -q 'GET /[a-z0-9-]*-[0-9]*x[0-9]*\.png$' "$work/requests.log" || fail "no picture was asked for"
! grep -q 'GET /open-' "$work/requests.log" || fail "a tracking picture was asked for"
echo "newsletter e2e passed"
