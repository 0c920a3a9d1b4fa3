#!/usr/bin/env bash
# End-to-end: a hostile message page stays inert. The real program, in a real X session (run it
# under xvfb-run), opens five messages of a loopback feed whose bodies try every way we know to
# run script or to read a local file. Each attempt, if it worked, would ask the loopback server
# for its own path under /beacon/; the local files it aims at are written here and themselves
# ask for a beacon when anything loads them; a local picture, which cannot ask for anything, is
# looked for on the screen. Each page also shows one remote picture, which the page is meant to
# load: its request proves the page was rendered. The test then watches the request log for a
# while and wants no beacon, no file written by the page, no message box, no link handed to the
# desktop, the page stored as the feed sent it (the view makes it safe, not a rewrite of the
# text), and the program still up.
# With QP_SCREENSHOT_DIR set, a screenshot of each page is written there.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/page_safety_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: page_safety_e2e.sh BUILD_DIR}" && pwd)
shots=${QP_SCREENSHOT_DIR:-}

source "$(dirname "$0")/e2e_common.sh"

data="$work/data/Quillpost Data"
mkdir -p "$work/feeds" "$work/run" "$data" "$work/tmp" "$work/secret" "$work/home" "$work/bin"
chmod 700 "$work/run"
: > "$work/requests.log"
start_feed_server "$work/feeds" --log "$work/requests.log"
base="http://127.0.0.1:$port"
beacon="$base/beacon"

# The desktop's browser: whatever a page manages to hand over is written down, nothing opens.
for tool in xdg-open browser; do
  printf '#!/bin/sh\necho "$@" >> "%s/opened.log"\n' "$work" > "$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done

# The local files a page must never read. Each asks for the beacon of its own name when it is
# loaded; copies lie in a temporary folder, beside item.htm and beside the page the view loads
# (a copy of item.htm in the program's temporary folder), so absolute and relative links find one.
secret() {  # name extension
  local text
  case $2 in
    html) text="<!doctype html><title>secret</title><img src=\"$beacon/$1\">" ;;
    svg) text="<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"><g id=\"g\"><image href=\"$beacon/$1\" width=\"9\" height=\"9\"/></g></svg>" ;;
    css) text="#probe-$1 { background: url($beacon/$1) }" ;;
    js) text="new Image().src = \"$beacon/$1\";" ;;
  esac
  for dir in "$work/secret" "$data" "$work/tmp"; do printf '%s\n' "$text" > "$dir/secret-$1.$2"; done
}
# A red square a page must not show; a cyan one it shows from a data: address. Their colours
# share no byte pattern in any pixel layout.
red=iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAIAAAADnC86AAAALElEQVR42u3NsQkAAAjAsP7/tD4huASyp6kXicVisVgsFovFYrFYLBaLxXcWqvU6G92VM/sAAAAASUVORK5CYII=
cyan=iVBORw0KGgoAAAANSUhEUgAAACgAAAAoCAIAAAADnC86AAAALElEQVR42u3NMQkAAAwDsPo33Zko7AnkT9L+EIvFYrFYLBaLxWKxWCwWi3cOlLR0Nckl78QAAAAASUVORK5CYII=
for dir in "$work/secret" "$data" "$work/tmp"; do base64 -d <<< "$red" > "$dir/secret-picture.png"; done
tmpUrl="file://$work/secret"
dataUrl="file://${data// /%20}"
run() { echo "new Image().src='$beacon/$1'"; }  # script that calls beacon $1

for name in iframe-file iframe-data iframe-relative object-file srcdoc-iframe-file refresh-file \
            refresh-relative xhr-file xhr-file-sync; do
  secret "$name" html
done
for name in object-svg embed-svg svg-use-file svg-use-relative; do secret "$name" svg; done
for name in link-css-file link-css-data link-css-relative import-css-file; do secret "$name" css; done
for name in script-file script-data script-relative; do secret "$name" js; done

# Page 1: scripts in every form, in the body and in the header fields, then local files through
# every element that loads a picture, a document, a style sheet or a script; a refresh to a
# remote page ends it.
probes=""
for name in link-css-file link-css-data link-css-relative import-css-file; do
  probes+="<div id=\"probe-$name\" style=\"height:4px\"></div>"
done
page1="<p>Hello reader.</p><img src=\"data:image/png;base64,$cyan\" alt=\"\">\
<img src=\"$tmpUrl/secret-picture.png\" alt=\"\"><img src=\"$dataUrl/secret-picture.png\" alt=\"\">\
<img src=\"secret-picture.png\" alt=\"\">\
<span style=\"display: inline-block; width: 40px; height: 40px; background: url($tmpUrl/secret-picture.png)\"></span>\
<img src=\"$base/control-1.png\" alt=\"\" onload=\"$(run img-onload)\" onerror=\"$(run img-onerror-remote)\">\
<script>$(run script-image)</script>\
<script>fetch('$beacon/script-fetch')</script>\
<script>var x = new XMLHttpRequest(); x.open('GET', '$beacon/script-xhr'); x.send()</script>\
<script>document.write('<img src=\"$beacon/script-write\">')</script>\
<script src=\"$beacon/script-remote\"></script>\
<img src=\"x\" onerror=\"$(run img-onerror)\">\
<body onload=\"$(run body-onload)\">\
<svg onload=\"$(run svg-onload)\" width=\"4\" height=\"4\"></svg>\
<details open ontoggle=\"$(run details-ontoggle)\"><summary>more</summary>text</details>\
<input autofocus onfocus=\"$(run input-onfocus)\">\
<style onload=\"$(run style-onload)\">p { margin: 0 }</style>\
<video><source src=\"x\" onerror=\"$(run video-onerror)\"></video>\
<iframe src=\"javascript:$(run javascript-iframe)\"></iframe>\
<object data=\"javascript:$(run javascript-object)\"></object>\
<embed src=\"javascript:$(run javascript-embed)\">\
<iframe srcdoc=\"&lt;script&gt;$(run srcdoc-script)&lt;/script&gt;&lt;iframe src=&quot;$tmpUrl/secret-srcdoc-iframe-file.html&quot;&gt;&lt;/iframe&gt;\"></iframe>\
<iframe src=\"data:text/html,&lt;script&gt;$(run data-iframe)&lt;/script&gt;\"></iframe>\
<iframe src=\"$beacon/remote-iframe\"></iframe>\
<object data=\"$beacon/remote-object\" type=\"text/html\"></object>\
<iframe src=\"$tmpUrl/secret-iframe-file.html\"></iframe>\
<iframe src=\"$dataUrl/secret-iframe-data.html\"></iframe>\
<iframe src=\"secret-iframe-relative.html\"></iframe>\
<object data=\"$tmpUrl/secret-object-file.html\" type=\"text/html\"></object>\
<object data=\"$tmpUrl/secret-object-svg.svg\" type=\"image/svg+xml\"></object>\
<embed src=\"$dataUrl/secret-embed-svg.svg\" type=\"image/svg+xml\">\
<svg width=\"9\" height=\"9\"><use href=\"$tmpUrl/secret-svg-use-file.svg#g\"/><use href=\"secret-svg-use-relative.svg#g\"/></svg>\
<link rel=\"stylesheet\" href=\"$tmpUrl/secret-link-css-file.css\">\
<link rel=\"stylesheet\" href=\"$dataUrl/secret-link-css-data.css\">\
<link rel=\"stylesheet\" href=\"secret-link-css-relative.css\">\
<style>@import url(\"$tmpUrl/secret-import-css-file.css\");</style>$probes\
<script src=\"$tmpUrl/secret-script-file.js\"></script>\
<script src=\"$dataUrl/secret-script-data.js\"></script>\
<script src=\"secret-script-relative.js\"></script>\
<script>fetch('$tmpUrl/secret-xhr-file.html').then(r => r.text()).then(t => { new Image().src = '$beacon/xhr-file?' + encodeURIComponent(t) })</script>\
<script>var s = new XMLHttpRequest(); s.open('GET', '$dataUrl/secret-xhr-file-sync.html', false); s.send(); new Image().src = '$beacon/xhr-file-sync?' + encodeURIComponent(s.responseText)</script>\
<meta http-equiv=\"refresh\" content=\"0;url=$beacon/refresh-remote\">"
# A page follows one refresh only, so each of the others has a page of its own.
page2="<p>Second letter.</p><img src=\"$base/control-2.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=$tmpUrl/secret-refresh-file.html\">"
page3="<p>Third letter.</p><img src=\"$base/control-3.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=secret-refresh-relative.html\">"
page4="<p>Fourth letter.</p><img src=\"$base/control-4.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=javascript:$(run refresh-javascript)\">"
page5="<p>Fifth letter.</p><img src=\"$base/control-5.png\" alt=\"\"><meta http-equiv=\"refresh\" content=\"0;url=data:text/html,&lt;script&gt;$(run refresh-data)&lt;/script&gt;&lt;img src=$beacon/refresh-data-img&gt;\">"

# The header block's fields are page text too, written escaped as the service does.
escaped() { sed 's/</\&lt;/g; s/>/\&gt;/g' <<< "$1"; }
subject1="Letter 1</title><script>$(run subject-script)</script>"
date1="Sat, 05 Dec 2026 <svg onload=\"$(run date-svg-onload)\"></svg>"
item() {  # guid day body [subject date]
  printf '<item><title>Letter %s</title><guid isPermaLink="false">%s</guid><pubDate>%s 09:18:46 GMT</pubDate>' "$1" "$1" "$2"
  printf '<description><![CDATA[<!-- header start: <p>From: &quot;Desk&quot; &lt;desk@news.quillpost.test&gt;</p><p>Subject: %s</p><p>Date: %s</p><p>Reply-To: &quot;Desk&quot; &lt;desk@news.quillpost.test&gt;</p>header end -->{letter}%s]]></description></item>\n' \
    "$(escaped "${4:-Letter $1}")" "$(escaped "${5:-$2}")" "$3"
}
{
  echo '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Letters</title><link>http://news.quillpost.test/letters</link><description>Letters</description>'
  item letter-1 "Sat, 05 Dec 2026" "$page1" "$subject1" "$date1"
  item letter-2 "Fri, 04 Dec 2026" "$page2"
  item letter-3 "Thu, 03 Dec 2026" "$page3"
  item letter-4 "Wed, 02 Dec 2026" "$page4"
  item letter-5 "Tue, 01 Dec 2026" "$page5"
  echo '</channel></rss>'
} > "$work/feeds/letters.xml"
# A 1x1 picture for the controls.
for n in 1 2 3 4 5; do
  echo 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==' |
    base64 -d > "$work/feeds/control-$n.png"
done

id=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n<source id="%s" title="Letters">%s/letters.xml</source>\r\n</sources>\r\n' \
  "$id" "$base" > "$data/subscriptions.dat"

export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" HOME="$work/home" TMPDIR="$work/tmp"
export PATH="$work/bin:$PATH" BROWSER="$work/bin/browser" DEFAULT_BROWSER="$work/bin/browser"
export QT_QPA_PLATFORM=xcb
export QUILLPOST_MESSAGE_LOG="$work/boxes.log" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software
: > "$work/boxes.log"
(cd "$work" && find . -type f | sort) > "$work/files-before"
"$build/quillpost" > "$work/out.log" 2>&1 &
app=$!
pids+=($app)

wid=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillpost \(Standard Version\)" | head -1) ||
  fail "no main window"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1

xdotool key --clearmodifiers ctrl+F5
inbox="$data/$id/inbox.dat"
for _ in $(seq 300); do [ -s "$inbox" ] && break; sleep 0.1; done
[ "$(grep -c '^\[' "$inbox" 2>/dev/null)" = 5 ] || fail "the check run did not store the five letters"
# The busy window closes when the run is over; the list takes keys again after that.
for _ in $(seq 300); do
  xdotool search --onlyvisible --name '^Quillpost$' >/dev/null 2>&1 || break
  sleep 0.1
done
sleep 1

# Opens the next message down the tree and waits for its control picture.
opened=0
open_next() {
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  if [ "$opened" = 0 ]; then
    xdotool key --clearmodifiers Home Right Down Return
  else
    # The open page has the keyboard: a click on the free space below the list gives it back to
    # the list, whose current row stays.
    xdotool mousemove --window "$wid" 140 300 click 1
    sleep 0.3
    xdotool key --clearmodifiers Down Return
  fi
  opened=$((opened + 1))
  for _ in $(seq 300); do
    if grep -q "^GET /control-$opened.png" "$work/requests.log"; then
      if [ -n "$shots" ]; then sleep 1; import -window root "$shots/page-$opened.png"; fi
      return 0
    fi
    sleep 0.1
  done
  if [ -n "$shots" ]; then import -window root "$shots/page-$opened-missing.png"; fi
  fail "page $opened was not rendered: its picture was never asked for"
}

open_next
for part in "$page1" "<title>$subject1</title>" "<td>$date1</td>"; do
  grep -qF "$part" "$data/item.htm" || fail "item.htm does not hold the first letter as sent: $part"
done
# A local picture leaves no request behind: the screen tells. A square is 40 rows of runs of
# one colour, whether the dump has three or four bytes a pixel.
runs() {
  xwd -root -silent > "$work/screen.xwd"
  LC_ALL=C grep -a -o -P "(?:$1){8}|(?:$1[\x00\xff]){8}|(?:[\x00\xff]$1){8}" "$work/screen.xwd" | wc -l
}
for _ in $(seq 40); do [ "$(runs '\xff\xff\x00')" -ge 100 ] && break; sleep 0.5; done
[ "$(runs '\xff\xff\x00')" -ge 100 ] || fail "the first page shows no picture from a data: address"
sleep 1
[ "$(runs '\x00\x00\xff')" -lt 20 ] || fail "the first page shows a picture from a local file"
rm "$work/screen.xwd"
open_next
open_next
open_next
open_next
grep -qF "$page5" "$data/item.htm" || fail "item.htm does not hold the fifth letter's body as sent"

# Late comers: timers, refreshes and frames get a while after the last page.
for _ in $(seq 100); do
  grep -q ' /beacon/' "$work/requests.log" && break
  sleep 0.1
done
if grep -q ' /beacon/' "$work/requests.log"; then
  fail "the page ran script or read a local file: $(grep -o ' /beacon/[^? ]*' "$work/requests.log" | sort -u | tr -d ' ' | tr '\n' ' ')"
fi
unexpected=$(grep -v -E '^GET /(letters\.xml|control-[1-5]\.png)$' "$work/requests.log" || true)
[ -z "$unexpected" ] || fail "unexpected requests: $unexpected"

kill -0 "$app" 2>/dev/null || fail "the program is not running any more"
[ -s "$work/boxes.log" ] && fail "unexpected message boxes"
[ -s "$work/opened.log" ] && fail "the page handed something to the desktop without a click"

# What the program may write: its instance lock, the inbox, item.htm and caches of the toolkit;
# the copy of the page in the temporary folder goes once it is shown.
written=$(cd "$work" && find . -type f | sort | comm -13 "$work/files-before" - |
  grep -v -E '^\./(requests|boxes|out)\.log$|^\./run/QUILLPOST2710INSTANCE\.lock$|^\./data/Quillpost Data/(item\.htm|[0-9A-F-]{36}/inbox\.dat)$|^\./cache/(fontconfig|mesa_shader_cache)/' || true)
[ -z "$written" ] || fail "files written that nobody asked for: $written"
echo "page safety e2e passed"
