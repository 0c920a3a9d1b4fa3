#!/usr/bin/env bash
# Whole-run benchmark: `quillpost --check` of SOURCES feeds x ITEMS items served on loopback,
# against `newsboat -x reload` of the same feeds with a fresh cache, in the same run.
# Prints the median wall times, their ratio and quillpost's peak RSS. Not a test.
#
#   bash bench/check_run.sh [SOURCES] [ITEMS] [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
sources=${1:-100}
items=${2:-50}
rounds=${3:-5}
build=${BUILD_DIR:-build-release}

command -v newsboat >/dev/null || { apt-get install -y -qq newsboat >/dev/null; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQP_BUILD_GUI=ON -DQP_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillpost qp_feed_server >/dev/null

work=$(mktemp -d)
trap 'kill ${server_pid:-} 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/feeds"

# Feeds with newsletter-sized bodies (~2 KB each).
body=$(head -c 1500 /dev/zero | tr '\0' 'x')
for ((s = 1; s <= sources; s++)); do
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<rss version=\"2.0\"><channel><title>Source $s</title><link>http://news.quillpost.test/$s</link><description>d</description>"
    for ((i = 1; i <= items; i++)); do
      printf '<item><title>Issue %d of source %d</title><link>http://news.quillpost.test/%d/%d</link>' "$i" "$s" "$s" "$i"
      printf '<description><![CDATA[<p>From: Editor &lt;editor@news.quillpost.test&gt;</p><p>%s</p>]]></description>' "$body"
      printf '<pubDate>Sat, %02d Dec 2026 09:18:46 GMT</pubDate><guid>src%d-item%d</guid></item>\n' $(( (i % 28) + 1 )) "$s" "$i"
    done
    echo '</channel></rss>'
  } > "$work/feeds/feed$s.xml"
done

"$build/qp_feed_server" --dir "$work/feeds" > "$work/port" &
server_pid=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "the feed server did not start"; exit 1; }
port=$(cat "$work/port")

make_data() {  # a fresh data folder subscribed to every feed
  local data="$1/Quillpost Data"
  mkdir -p "$data"
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
    for ((s = 1; s <= sources; s++)); do
      printf '<source id="%s" title="Source %d">http://127.0.0.1:%s/feed%d.xml</source>\r\n' \
        "$(cat /proc/sys/kernel/random/uuid | tr a-f A-F)" "$s" "$port" "$s"
    done
    printf '</sources>\r\n'
  } > "$data/subscriptions.dat"
}
for ((s = 1; s <= sources; s++)); do echo "http://127.0.0.1:$port/feed$s.xml"; done > "$work/urls"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
q_times=() n_times=() q_rss=()
for ((r = 1; r <= rounds; r++)); do
  rm -rf "$work/q" && mkdir -p "$work/q/runtime" && make_data "$work/q"
  XDG_DATA_HOME="$work/q" XDG_RUNTIME_DIR="$work/q/runtime" \
    /usr/bin/time -f '%e %M' -o "$work/qtime" "$build/quillpost" --check > /dev/null 2> "$work/qerr" || {
    echo "quillpost --check failed:"; cat "$work/qerr"; exit 1; }
  read -r t m < "$work/qtime"; q_times+=("$t"); q_rss+=("$m")

  rm -rf "$work/n" && mkdir -p "$work/n"
  HOME="$work/n" /usr/bin/time -f '%e %M' -o "$work/ntime" \
    newsboat -u "$work/urls" -c "$work/n/cache.db" -C /dev/null -x reload > /dev/null 2>&1
  read -r t m < "$work/ntime"; n_times+=("$t")
done

q=$(printf '%s\n' "${q_times[@]}" | median)
n=$(printf '%s\n' "${n_times[@]}" | median)
rss=$(printf '%s\n' "${q_rss[@]}" | sort -n | tail -1)
echo "sources=$sources items=$items rounds=$rounds"
echo "quillpost --check wall (median): ${q} s   [${q_times[*]}]"
echo "newsboat -x reload wall (median): ${n} s   [${n_times[*]}]"
awk -v q="$q" -v n="$n" 'BEGIN { printf "ratio quillpost/newsboat: %.3f\n", (n > 0 ? q / n : 0) }'
echo "quillpost peak RSS (max over rounds): $((rss / 1024)) MB"
