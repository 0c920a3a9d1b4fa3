#!/usr/bin/env bash
# Memory and start-up of the real program with a large data folder: SOURCES sources x MESSAGES
# messages (~1 KB bodies). Reports the time from launch to the filled main window, the peak RSS
# of the program with everything loaded, and the same with one message page open (the program
# alone, and the proportional set size of it with its web renderer processes). Runs the program under Xvfb. Not a test.
#
#   bash bench/gui_memory.sh [SOURCES] [MESSAGES] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
sources=${1:-100}
messages=${2:-1000}
rounds=${3:-3}
build=${BUILD_DIR:-build-release}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQP_BUILD_GUI=ON -DQP_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillpost quillpost_webview >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data="$work/data/Quillpost Data"
mkdir -p "$data"

# subscriptions.dat and one inbox.dat per source, written the way the store writes them.
{
  printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
  for ((s = 1; s <= sources; s++)); do
    id=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
    printf '<source id="%s" title="Newsletter %03d">http://news.quillpost.test/feed/%d</source>\r\n' "$id" "$s" "$s"
    mkdir -p "$data/$id"
    awk -v n="$messages" -v s="$s" 'BEGIN {
      body = ""; for (i = 0; i < 20; i++) body = body "Lorem ipsum dolor sit amet, consectetur elit. ";
      split("Mon Tue Wed Thu Fri Sat Sun", wd, " ");
      for (i = 1; i <= n; i++) {
        day = (i % 28) + 1;
        printf "[s%d-m%d]\r\ntitle=Issue %d of newsletter %d\r\n", s, i, i, s;
        printf "description=<!-- header start: <p>From: &quot;Editor %d&quot; &lt;editor%d@news.quillpost.test&gt;</p><p>Subject: Issue %d</p><p>Date: %02d Dec 2026</p><p>Reply-To: &quot;Desk&quot; &lt;desk@news.quillpost.test&gt;</p>header end -->{x}<p>%s</p>\r\n", s, s, i, day, body;
        printf "date=%s, %02d Dec 2026\r\ntime=09:18:46\r\noffset=GMT\r\nread=%d\r\n", wd[(day % 7) + 1], day, i % 2;
      }
    }' > "$data/$id/inbox.dat"
  done
  printf '</sources>\r\n'
} > "$data/subscriptions.dat"
echo "data folder: $(du -sh "$data" | cut -f1) in $sources sources x $messages messages"

run_round() {
  rm -rf "$work/run" && mkdir -p "$work/run"
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
  QUILLPOST_MESSAGE_LOG="$work/boxes.log" QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software \
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    start=$(date +%s%N)
    "$0" & app=$!
    until xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" >/dev/null 2>&1; do
      sleep 0.01
    done
    ready=$(date +%s%N)
    sleep 2
    loaded=$(awk "/VmHWM/ {print \$2}" /proc/$app/status)
    xdotool key --clearmodifiers Home Right Down Return
    sleep 6
    open_main=$(awk "/VmHWM/ {print \$2}" /proc/$app/status)
    # Proportional set size, so pages the renderer processes share are counted once.
    total=0
    for pid in $(pstree -p -T "$app" | grep -o "([0-9]*)" | tr -d "()"); do
      total=$((total + $(awk "/^Pss:/ {print \$2}" /proc/$pid/smaps_rollup 2>/dev/null || echo 0)))
    done
    echo "$(( (ready - start) / 1000000 )) $loaded $open_main $total"
    kill $app; wait $app 2>/dev/null || true
  ' "$build/quillpost"
}

command -v pstree >/dev/null || apt-get install -y -qq psmisc >/dev/null
starts=() loaded=() opened=() trees=()
for ((r = 1; r <= rounds; r++)); do
  read -r t l o tr < <(run_round)
  starts+=("$t"); loaded+=("$l"); opened+=("$o"); trees+=("$tr")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "start-up to the filled window (median of $rounds): $(median "${starts[@]}") ms   [${starts[*]}]"
echo "peak RSS, all loaded, no page open: $(( $(median "${loaded[@]}") / 1024 )) MB"
echo "peak RSS of the program with a page open: $(( $(median "${opened[@]}") / 1024 )) MB"
echo "PSS of the program and its web renderer processes with a page open: $(( $(median "${trees[@]}") / 1024 )) MB"
