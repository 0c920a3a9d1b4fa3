# Set-up shared by the end-to-end scripts (sourced after `build` is set): a work folder with an
# empty data folder, removed at exit with every process listed in pids; a failure report showing
# the logs; feeds on the loopback feed server; the real program in the X session.
work=$(mktemp -d)
data="$work/data/Quillpost Data"
mkdir -p "$work/feeds" "$work/run" "$data" && chmod 700 "$work/run"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/{requests,boxes,opened,out}.log; do [ ! -s "$log" ] || tail -v -n 20 "$log" >&2; done
  exit 1
}
# wait_for TRIES COMMAND...: runs the command every tenth of a second until it succeeds.
wait_for() { for _ in $(seq "$1"); do "${@:2}" && return 0; sleep 0.1; done; "${@:2}"; }
key() { xdotool key --clearmodifiers "$@"; }
# window_named SECONDS PATTERN: the first visible window so named, once there is one. Polled, as
# `xdotool search --sync` gives up when a window goes while it walks the tree.
window_named() {
  local found
  for _ in $(seq $(($1 * 10))); do
    found=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -1) || true
    if [ -n "$found" ]; then echo "$found"; return 0; fi
    sleep 0.1
  done
  return 1
}
# With QP_SCREENSHOT_DIR: the screen, and the feed server's requests so far, for a note.
shot() {
  if [ -z "${QP_SCREENSHOT_DIR:-}" ]; then return; fi
  import -window root "$QP_SCREENSHOT_DIR/$1.png"
  if [ -f "$work/requests.log" ]; then cp "$work/requests.log" "$QP_SCREENSHOT_DIR/$1.requests.log"; fi
}

# item GUID TITLE DAY SENDER ADDRESS SUBJECT DATE BODY: an RSS item whose description carries the
# header block the message view reads, its fields escaped as the service writes them.
item() {
  printf '<item><title>%s</title><guid isPermaLink="false">%s</guid><pubDate>%s 09:18:46 GMT</pubDate><description><![CDATA[<!-- header start: <p>From: &quot;%s&quot; &lt;%s&gt;</p><p>Subject: %s</p><p>Date: %s</p><p>Reply-To: &quot;%s&quot; &lt;%s&gt;</p>header end -->{letter}%s]]></description></item>\n' \
    "$2" "$1" "$3" "$4" "$5" "$(sed 's/</\&lt;/g; s/>/\&gt;/g' <<< "$6")" "$(sed 's/</\&lt;/g; s/>/\&gt;/g' <<< "$7")" "$4" "$5" "$8"
}
# feed NAME TITLE: writes feeds/NAME.xml around the items on standard input.
feed() {
  printf '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>%s</title><link>http://news.quillpost.test/%s</link><description>%s</description>%s</channel></rss>\n' \
    "$2" "$1" "$2" "$(cat)" > "$work/feeds/$1.xml"
}
# Serves the feeds folder on 127.0.0.1, logging each request, with the server's further options;
# sets base.
start_feed_server() {
  "$build/qp_feed_server" --dir "$work/feeds" --log "$work/requests.log" "$@" > "$work/port" & pids+=($!)
  wait_for 200 test -s "$work/port" || fail "the feed server did not start"
  base="http://127.0.0.1:$(cat "$work/port")"
}
# subscribe "TITLE|LINK"...: writes subscriptions.dat as the program does; sets ids.
subscribe() {
  local sources=""
  ids=()
  for source in "$@"; do
    ids+=("$(tr a-f A-F < /proc/sys/kernel/random/uuid)")
    sources+="<source id=\"${ids[-1]}\" title=\"${source%%|*}\">${source#*|}</source>\r\n"
  done
  printf '%b' "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sources>\r\n$sources</sources>\r\n" > "$data/subscriptions.dat"
}
# Starts the program on the data folder and waits for its main window; sets app and wid. With
# real_boxes set, boxes are shown on the screen instead of being written to boxes.log.
start_program() {
  export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=xcb QUILLPOST_MESSAGE_LOG="$([ -n "${real_boxes:-}" ] || echo "$work/boxes.log")" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software
  : > "$work/boxes.log"
  "${program:-$build/quillpost}" > "$work/out.log" 2>&1 & app=$!
  pids+=($app)
  wid=$(window_named 60 "Quillpost \(Standard Version\)" | head -1) || fail "no main window"
  focus_main
  sleep 1
}
# Without a window manager nobody hands the focus back to the main window.
focus_main() { xdotool windowfocus --sync "$wid" 2>/dev/null || true; }
holds() { [ "$(grep -c '^\[' "$data/$1/inbox.dat" 2>/dev/null)" = "$2" ]; }
no_busy_window() { ! xdotool search --onlyvisible --name '^Quillpost$' >/dev/null 2>&1; }
# check_all ID=COUNT...: Ctrl+F5; once the run is over, each source's inbox holds COUNT messages.
check_all() {
  focus_main
  key ctrl+F5
  for pair in "$@"; do wait_for 300 holds "${pair%=*}" "${pair#*=}" || true; done
  wait_for 300 no_busy_window || fail "the check run does not end"
  sleep 1
  for pair in "$@"; do holds "${pair%=*}" "${pair#*=}" || fail "${pair%=*} should hold ${pair#*=} messages"; done
}
# The program still runs and showed no message box.
expect_quiet_end() {
  kill -0 "$app" 2>/dev/null || fail "the program is not running any more"
  [ ! -s "$work/boxes.log" ] || fail "unexpected message boxes"
}
# With a notification area (trayer) on the session.
start_tray() {
  command -v trayer >/dev/null || fail "trayer gives the session its notification area"
  trayer --edge bottom --align right --widthtype pixel --width 120 --heighttype pixel --height 24 >/dev/null 2>&1 & pids+=($!)
}
# settings.cfg lies beside a program whose folder is writable: a copy of its own in
# $work/program; scheduler INTERVAL ATSTART writes its schedule.
own_program() {
  mkdir "$work/program"
  cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/program/"
}
scheduler() { printf '[scheduler]\r\ninterval=%s\r\natstart=%s\r\n' "$1" "$2" > "$work/program/settings.cfg"; }
# row N [BUTTON]: clicks the message tree's row N (0 is the first), below the search field.
row() { xdotool mousemove --window "$wid" 120 $((100 + 18 * $1)) click "${2:-1}"; sleep 0.3; }
