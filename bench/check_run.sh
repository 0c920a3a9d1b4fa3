#!/usr/bin/env bash
# Whole-run benchmark of the check run: `quillpost --check` against `newsboat -x reload` over the
# same feeds from the loopback feed server, run after run alternating (the first of each pair
# alternates too), in one call. Per scenario it prints both medians of the wall time, the ratio
# quillpost/newsboat, both peak RSS figures (the highest of the runs) and quillpost's CPU time.
# Each run gets its own state: an empty inbox and an empty newsboat cache where everything is
# new, a copy of a state that holds every item where nothing is. Not a test.
#
#   bash bench/check_run.sh [-r ROUNDS] [SCENARIO...]
#   bash bench/check_run.sh --profile
#
#   ROUNDS    runs of each reader per scenario (default 5)
#   SCENARIO  1 2 3 4a 4b 5 (default all):
#             1  100 feeds x 50 items, 4 KB bodies, all new
#             2  the same, nothing new, the server always answers 200 (no validators)
#             3  the same, nothing new, the server answers 304 to conditional requests
#             4a 100 x 50, all new, 20 ms server latency per request, newsboat reload-threads 1
#             4b the same with newsboat reload-threads 8
#             5  1 feed x 1,000 items, 20 KB bodies (about 20 MB), all new
#   --profile callgrind of one `quillpost --check` in scenario 1; prints the top 10 by self cost
#   BUILD_DIR the Release build folder to use (default build-release; configured when new)
#   TMPDIR    where the feeds and both readers' states live (default /tmp)
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
rounds=5 profile=0 scenarios=()
while [ $# -gt 0 ]; do
  case "$1" in
    -r) rounds=${2:?-r needs a number}; shift 2 ;;
    --profile) profile=1; shift ;;
    1|2|3|4a|4b|5) scenarios+=("$1"); shift ;;
    *) sed -n '9,22p' "$0" >&2; exit 2 ;;
  esac
done
[[ $rounds =~ ^[1-9][0-9]*$ ]] || { echo "check_run: ROUNDS must be a number from 1" >&2; exit 2; }
[ ${#scenarios[@]} -gt 0 ] || scenarios=(1 2 3 4a 4b 5)
build=${BUILD_DIR:-build-release}

bash tools/install-deps.sh
need() { command -v "$1" >/dev/null || { apt-get update -qq && apt-get install -y -qq "$2" >/dev/null; }; }
need newsboat newsboat
need /usr/bin/time time
[ "$profile" = 0 ] || need valgrind valgrind
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DQP_BUILD_TESTS=OFF -DQP_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target quillpost qp_feed_server >/dev/null
quillpost=$(realpath "$build/quillpost") feedserver=$(realpath "$build/qp_feed_server")

work=$(mktemp -d)
server_pid=''
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=''
}
trap 'stop_server; rm -rf "$work"' EXIT
fail() { echo "check_run: $*" >&2; exit 1; }

# make_feeds DIR SOURCES ITEMS BODY_BYTES: feed1.xml ... with newsletter-like HTML bodies.
make_feeds() {
  mkdir -p "$1"
  awk -v dir="$1" -v sources="$2" -v items="$3" -v size="$4" 'BEGIN {
    para = "<p>Dear readers, this week’s issue looks at the river walk, the café on the corner " \
           "and the garden club’s plans – with notes from our editors and a few letters.</p>\n"
    base = ""; while (length(base) < size) base = base para
    for (s = 1; s <= sources; s++) {
      f = dir "/feed" s ".xml"
      printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>" \
             "<title>Source %d</title><link>http://news.quillpost.test/%d</link>" \
             "<description>Letters of source %d</description>\n", s, s, s > f
      for (i = 1; i <= items; i++) {
        printf "<item><title>Issue %d of source %d</title><link>http://news.quillpost.test/%d/%d</link>" \
               "<description><![CDATA[<p>From: Editor &lt;editor@news.quillpost.test&gt;</p>" \
               "<h1>Issue %d</h1>%s]]></description><pubDate>%s, %02d Dec 2026 09:18:46 GMT</pubDate>" \
               "<guid isPermaLink=\"false\">src%d-item%d</guid></item>\n", \
               i, s, s, i, i, base, "Sat", (i % 28) + 1, s, i > f
      }
      print "</channel></rss>" > f
      close(f)
    }
  }'
  # Older than the current second, so that the server sends Last-Modified as well as an ETag.
  touch -d '1 hour ago' "$1"/*.xml
}

# start_server DIR [SERVER OPTIONS]: sets port.
start_server() {
  local dir=$1
  shift
  stop_server
  rm -f "$work/port"
  "$feedserver" --dir "$dir" "$@" > "$work/port" &
  server_pid=$!
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  [ -s "$work/port" ] || fail "the feed server did not start"
  port=$(cat "$work/port")
}

# Each reader's state lives in a folder of its own that is its HOME and XDG folders:
# quillpost's data folder, newsboat's urls, config and cache.
q_setup() {  # FOLDER SOURCES
  local data="$1/data/Quillpost Data"
  mkdir -p "$data" "$1/config" && mkdir -p -m 700 "$1/run"
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
    for ((s = 1; s <= $2; s++)); do
      printf '<source id="%s" title="Source %d">http://127.0.0.1:%s/feed%d.xml?list=news.quillpost.test</source>\r\n' \
        "$(tr a-f A-F < /proc/sys/kernel/random/uuid)" "$s" "$port" "$s"
    done
    printf '</sources>\r\n'
  } > "$data/subscriptions.dat"
}
n_setup() {  # FOLDER SOURCES THREADS
  mkdir -p "$1/config" "$1/data"
  for ((s = 1; s <= $2; s++)); do echo "http://127.0.0.1:$port/feed$s.xml"; done > "$1/urls"
  echo "reload-threads $3" > "$1/config/config"
}
q_run() {  # FOLDER [WRAPPER...]
  local f=$1
  shift
  HOME="$f" XDG_DATA_HOME="$f/data" XDG_CONFIG_HOME="$f/config" XDG_RUNTIME_DIR="$f/run" \
    "$@" "$quillpost" --check
}
n_run() {  # FOLDER [WRAPPER...]
  n_do "$1" reload "${@:2}"
}
n_do() {  # FOLDER ACTION [WRAPPER...]
  local f=$1 action=$2
  shift 2
  HOME="$f" XDG_DATA_HOME="$f/data" XDG_CONFIG_HOME="$f/config" \
    "$@" newsboat -u "$f/urls" -c "$f/cache.db" -C "$f/config/config" -x "$action"
}

# measure SIDE: runs SIDE (q or n) once on a fresh copy of its prepared state and appends
# "wall cpu rss_kb" to $work/SIDE.runs; the output stays in $work/SIDE.out.
measure() {
  local side=$1 t0 t1
  rm -rf "$work/$side" && cp -a "$work/$side.ready" "$work/$side"
  t0=$EPOCHREALTIME
  ${side}_run "$work/$side" /usr/bin/time -f '%e %U %S %M' -o "$work/$side.time" \
    > "$work/$side.out" 2> "$work/$side.err" || fail "$side run failed: $(cat "$work/$side.err")"
  t1=$EPOCHREALTIME
  awk -v t0="$t0" -v t1="$t1" '{ printf "%.3f %.3f %d\n", t1 - t0, $2 + $3, $4 }' \
    "$work/$side.time" >> "$work/$side.runs"
}

# What each reader holds after a run, to see that it really did the work: the new messages of
# quillpost's summary, newsboat's unread articles.
q_new() { grep -o 'You have [0-9]* New' "$work/q.out" | awk '{ n += $3 } END { print n + 0 }'; }
n_unread() { n_do "$work/n" print-unread | awk '{ print $1 }'; }

median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }
column_of() { awk -v c="$2" '{ print $c }' "$work/$1.runs"; }

# scenario LABEL FEEDS SOURCES ITEMS new|old THREADS [SERVER OPTIONS]
scenario() {
  local label=$1 feeds=$2 sources=$3 items=$4 state=$5 threads=$6
  shift 6
  start_server "$feeds" "$@"
  rm -rf "$work"/q.* "$work"/n.*
  q_setup "$work/q.ready" "$sources"
  n_setup "$work/n.ready" "$sources" "$threads"
  # Two runs of each store every item and the validators too: newsboat keeps a feed's
  # validators only once the feed is in its cache, so from the second run on.
  local r
  if [ "$state" = old ]; then
    for r in 1 2; do
      q_run "$work/q.ready" > /dev/null || fail "$label: quillpost could not prepare its state"
      n_run "$work/n.ready" > /dev/null || fail "$label: newsboat could not prepare its state"
    done
  fi
  local want_new=$((sources * items))
  [ "$state" = new ] || want_new=0
  for ((r = 1; r <= rounds; r++)); do
    if ((r % 2)); then measure q; measure n; else measure n; measure q; fi
    if ((r == 1)); then
      [ "$(q_new)" = "$want_new" ] || fail "$label: quillpost stored $(q_new) new messages, not $want_new"
      [ "$(n_unread)" = $((sources * items)) ] || fail "$label: newsboat holds $(n_unread) unread, not $((sources * items))"
    fi
  done
  stop_server
  local qt nt qc
  qt=$(column_of q 1 | median) nt=$(column_of n 1 | median) qc=$(column_of q 2 | median)
  printf '| %s | %.2f s | %.2f s | %.2f | %d MB | %d MB | %.2f s |\n' "$label" "$nt" "$qt" \
    "$(awk -v q="$qt" -v n="$nt" 'BEGIN { print (n > 0 ? q / n : 0) }')" \
    $(($(column_of n 3 | sort -n | tail -1) / 1024)) $(($(column_of q 3 | sort -n | tail -1) / 1024)) "$qc" \
    >> "$work/table"
  echo "$label: quillpost [$(column_of q 1 | tr '\n' ' ')] newsboat [$(column_of n 1 | tr '\n' ' ')]" >&2
}

make_feeds "$work/many" 100 50 4096

if [ "$profile" = 1 ]; then
  start_server "$work/many"
  q_setup "$work/q" 100
  q_run "$work/q" valgrind -q --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
    > "$work/q.out" 2> "$work/q.err" || fail "the profiled check failed: $(cat "$work/q.err")"
  stop_server
  [ "$(q_new)" = 5000 ] || fail "the profiled check stored $(q_new) new messages, not 5000"
  callgrind_annotate --inclusive=no "$work/callgrind.out" | grep -E '^ *[0-9,]+ \(' | awk 'NR <= 11' |
    sed -E 's/std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >/std::string/g
            s/std::basic_string_view<char, std::char_traits<char> >/std::string_view/g
            s/\[abi:cxx11\]//g; s/\?\?\?://; s/  \.\/[^ ]*:/  /; s/ \[[^]]*\/([^]/]*)\]$/  [\1]/'
  exit 0
fi

printf '| scenario | newsboat | quillpost | ratio q/n | newsboat RSS | quillpost RSS | quillpost CPU |\n|---|---|---|---|---|---|---|\n' > "$work/table"
for s in "${scenarios[@]}"; do
  case "$s" in
    1) scenario "1: 100 feeds x 50 items, 4 KB bodies, all new" "$work/many" 100 50 new 1 ;;
    2) scenario "2: same, nothing new, server always answers 200" "$work/many" 100 50 old 1 --no-conditional ;;
    3) scenario "3: same, nothing new, server answers 304" "$work/many" 100 50 old 1 ;;
    4a) scenario "4a: 100 x 50, 20 ms latency (newsboat 1 thread)" "$work/many" 100 50 new 1 --latency-ms 20 ;;
    4b) scenario "4b: 100 x 50, 20 ms latency (newsboat 8 threads)" "$work/many" 100 50 new 8 --latency-ms 20 ;;
    5) make_feeds "$work/big" 1 1000 20480
       scenario "5: 1 feed x 1,000 items, 20 KB bodies" "$work/big" 1 1000 new 1 ;;
  esac
done
echo "medians of $rounds runs each, alternating; RSS is the highest peak of the runs"
cat "$work/table"
