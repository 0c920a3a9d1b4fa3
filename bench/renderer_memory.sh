#!/usr/bin/env bash
# Memory of many open messages: the real program under Xvfb opens OPEN messages one after the
# other (each names a remote picture; its source shows pictures, so the picture's request in the
# feed server's log tells when the page is up), then reports the proportional set size of the
# whole process tree (program and web renderer processes), the number of renderer processes, and
# how long the first and the last message took from the Enter key to the picture's request.
# With BASELINE_BUILD (a build of an earlier version, whose pages load their pictures unasked),
# the two programs alternate, ROUNDS times each: "current" and "baseline". Medians are reported;
# figures, not a test.
#
#   bash bench/renderer_memory.sh [OPEN] [ROUNDS]      (BUILD_DIR picks the build, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
open=${1:-31}
rounds=${2:-3}
build=${BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target quillpost quillpost_webview qp_feed_server >/dev/null
command -v pstree >/dev/null || apt-get install -y -qq psmisc >/dev/null

work=$(mktemp -d)
server=''
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Copies of the programs; settings.cfg shows the source's pictures.
models=(current)
mkdir -p "$work/current" "$work/feeds" "$work/data/Quillpost Data"
cp "$build"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/current/"
if [ -n "${BASELINE_BUILD:-}" ]; then
  models+=(baseline)
  mkdir -p "$work/baseline"
  cp "$BASELINE_BUILD"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/baseline/"
fi
base64 -d <<< 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==' > "$work/feeds/pixel.png"
for ((m = 1; m <= open; m++)); do cp "$work/feeds/pixel.png" "$work/feeds/pic-$m.png"; done
"$build/qp_feed_server" --dir "$work/feeds" --log "$work/requests.log" > "$work/port" &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

id=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
for model in "${models[@]}"; do printf '[pictures]\r\n%s=1\r\n' "$id" > "$work/$model/settings.cfg"; done
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n<source id="%s" title="Letters">http://news.quillpost.test/letters</source>\r\n</sources>\r\n' "$id" > "$work/data/Quillpost Data/subscriptions.dat"
mkdir -p "$work/data/Quillpost Data/$id"
# Messages of about 3 KB, all of one day: the tree keeps file order, message m is row m.
awk -v n="$open" -v port="$port" 'BEGIN {
  body = ""; for (i = 0; i < 40; i++) body = body "Lorem ipsum dolor sit amet, consectetur adipiscing elit. ";
  for (m = 1; m <= n; m++) {
    printf "[m%02d]\r\ntitle=Issue %d\r\n", m, m;
    printf "description=<!-- header start: <p>From: &quot;Editor&quot; &lt;editor@news.quillpost.test&gt;</p><p>Subject: Issue %d</p><p>Date: Dec 2026</p><p>Reply-To: &quot;Desk&quot; &lt;desk@news.quillpost.test&gt;</p>header end -->{x}<h2>Issue %d</h2><p>%s</p><img src=\"http://127.0.0.1:%d/pic-%d.png\" alt=\"\"><p>%s</p>\r\n", m, m, body, port, m, body;
    printf "date=Tue, 01 Dec 2026\r\ntime=09:00:00\r\noffset=GMT\r\nread=0\r\n";
  }
}' > "$work/data/Quillpost Data/$id/inbox.dat"

# One round: prints "PSS_KB RENDERERS FIRST_MS LAST_MS PROGRAM_PSS_KB" for the program given
# (current|baseline).
run_round() {
  rm -rf "$work/run" "$work/config" && mkdir -p -m 700 "$work/run"
  : > "$work/requests.log"
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
  QUILLPOST_MESSAGE_LOG="$work/boxes.log" \
  QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    open=$1 log=$2
    "$0" & app=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillpost \(Standard Version\)" | head -1)
    sleep 2
    xdotool windowfocus --sync "$wid"; xdotool key --clearmodifiers Home Right
    now() { date +%s%N; }
    times=()
    for ((m = 1; m <= open; m++)); do
      # A click on the tree gives it the keyboard back from the open page; message m is m rows
      # below the source, the first row.
      xdotool windowfocus --sync "$wid"
      xdotool mousemove --window "$wid" 140 72 click 1
      xdotool key --clearmodifiers Home
      xdotool key --clearmodifiers --delay 2 --repeat $m Down
      start=$(now)
      xdotool key --clearmodifiers Return
      until grep -q "^GET /pic-$m.png" "$log"; do sleep 0.01; done
      times+=($(( ($(now) - start) / 1000000 )))
      sleep 0.3
      if [ $m = $((open - 1)) ]; then
        sleep 3
        pss=0 renderers=0
        for pid in $(pstree -p -T "$app" | grep -o "([0-9]*)" | tr -d "()"); do
          pss=$((pss + $(awk "/^Pss:/ {print \$2}" /proc/$pid/smaps_rollup 2>/dev/null || echo 0)))
          # Renderers are forked by a zygote and keep its command line.
          parent=$(awk "/^PPid:/ {print \$2}" /proc/$pid/status 2>/dev/null || echo 0)
          if tr "\0" " " < /proc/$parent/cmdline 2>/dev/null | grep -q -- "--type=zygote"; then renderers=$((renderers + 1)); fi
        done
        main=$(awk "/^Pss:/ {print \$2}" /proc/$app/smaps_rollup)
        if [ -n "${QP_SMAPS:-}" ]; then cp /proc/$app/smaps "$QP_SMAPS.$$"; fi
      fi
    done
    echo "$pss $renderers ${times[0]} ${times[-1]} $main"
    kill $app; wait $app 2>/dev/null || true
  ' "$work/$1/quillpost" "$open" "$work/requests.log"
}

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
declare -A pss renderers first last
for model in "${models[@]}"; do pss[$model]='' renderers[$model]='' first[$model]='' last[$model]=''; done
for ((r = 1; r <= rounds; r++)); do
  for model in "${models[@]}"; do
    read -r p n f l main < <(run_round "$model" 2>/dev/null)
    echo "round $r $model: PSS $((p / 1024)) MB with $((open - 1)) open ($((main / 1024)) MB the program itself), $n renderer processes, message 1 in $f ms, message $open in $l ms"
    pss[$model]+=" $p" renderers[$model]+=" $n" first[$model]+=" $f" last[$model]+=" $l"
  done
done
for model in "${models[@]}"; do
  # shellcheck disable=SC2086
  echo "$model (median of $rounds): PSS of the process tree with $((open - 1)) messages open $(( $(median ${pss[$model]}) / 1024 )) MB, $(median ${renderers[$model]}) renderer processes; message 1 opened in $(median ${first[$model]}) ms, message $open in $(median ${last[$model]}) ms"
done
if [ -n "${BASELINE_BUILD:-}" ]; then
  # shellcheck disable=SC2086
  awk -v s="$(median ${pss[current]})" -v p="$(median ${pss[baseline]})" 'BEGIN { printf "current / baseline PSS: %.2f\n", s / p }'
fi
