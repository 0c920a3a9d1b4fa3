#!/usr/bin/env bash
# A reader start over an archive at rest (nothing changed since the reader last ran), under Xvfb:
#   - start to the window filled with every source's count (QUILLPOST_BENCH_TIMING's line);
#   - CPU seconds the process used in its first SECONDS (utime + stime of /proc/PID/stat, every
#     thread);
#   - whether the start wrote to the search index (search.db or its -wal changed) or to the counts
#     cache, i.e. whether it indexed or counted anything;
#   - after the quit (Ctrl+Q, SIGTERM every other round), whether `quillpost --search` had to
#     index again (its progress lines).
# Medians of ROUNDS starts; with BASELINE_BUILD its starts alternate with this build's, each
# build on a cache folder of its own, made current first (a --search and one start).
#
#   bash bench/start_at_rest.sh BUILD_DIR DATA_FOLDER [ROUNDS] [BASELINE_BUILD_DIR] [SECONDS]
#
# DATA_FOLDER is a "Quillpost Data" folder (or the folder holding one), e.g. made with
# BUILD_DIR/bench/qp_make_archive "/tmp/a/Quillpost Data" 100 1000. It is only read.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,18p' "$0" >&2; exit 2; }
build=$(cd "$1" && pwd)
data=$2
rounds=${3:-5}
baseline=${4:+$(cd "$4" && pwd)}
seconds=${5:-20}
[ -f "$data/subscriptions.dat" ] || data="$data/Quillpost Data"
[ -f "$data/subscriptions.dat" ] || { echo "no subscriptions.dat in $2" >&2; exit 2; }
[ "$(basename "$data")" = "Quillpost Data" ] || { echo "the data folder must be named 'Quillpost Data'" >&2; exit 2; }
home=$(cd "$(dirname "$data")" && pwd)
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each build runs from a copy of its own: no settings.cfg of a build folder takes part.
install_copy() {
  mkdir -p "$work/$2" "$work/cache-$2"
  cp "$1"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/$2/"
}
install_copy "$build" this
[ -z "$baseline" ] || install_copy "$baseline" base

sources=$(grep -c '<source ' "$data/subscriptions.dat" || true)
echo "data folder: $sources sources, $(du -sh "$data" | cut -f1) ($data)"

# The files a start over a current cache has no reason to write.
stamps() { stat -c '%n %Y %s' "$1"/Quillpost/*/search.db* "$1"/Quillpost/*/counts.dat 2>/dev/null | sed "s|$1||" || true; }

# One start: prints "filled_ms cpu_s wrote(0/1) exit".
run_once() {
  local who=$1 quit=$2
  local run="$work/run" && rm -rf "$run" && mkdir -p "$run" && chmod 700 "$run"
  local before && before=$(stamps "$work/cache-$who")
  local out
  out=$(XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$run" XDG_CONFIG_HOME="$run/config" \
    XDG_CACHE_HOME="$work/cache-$who" QUILLPOST_MESSAGE_LOG="$run/boxes.log" \
    QUILLPOST_BENCH_TIMING=1 QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software \
    xvfb-run -a -n $((100 + RANDOM % 500)) -s "-screen 0 1280x800x24" bash -c '
      program=$0 run=$1 seconds=$2 quit=$3
      start=$(date +%s%3N)
      "$program" 2> "$run/err" & app=$!
      until wid=$(xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" 2>/dev/null | head -1) && [ -n "$wid" ]; do
        kill -0 $app 2>/dev/null && [ $(( $(date +%s%3N) - start )) -lt 60000 ] || { echo fail; exit; }
        sleep 0.01
      done
      for _ in $(seq 600); do grep -q "^quillpost-timing filled" "$run/err" && break; sleep 0.05; done
      filled=$(awk "/^quillpost-timing filled/ {print \$3}" "$run/err")
      filled=${filled:+$((filled - start))}
      while [ $(( $(date +%s%3N) - start )) -lt $((seconds * 1000)) ]; do sleep 0.05; done
      cpu=$(awk -v t="$(getconf CLK_TCK)" "{printf \"%.2f\", (\$14 + \$15) / t}" /proc/$app/stat)
      if [ "$quit" = term ]; then
        kill -TERM $app
      else
        xdotool windowfocus --sync "$wid" 2>/dev/null || true
        xdotool key --clearmodifiers ctrl+q
      fi
      for _ in $(seq 300); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
      kill -0 $app 2>/dev/null && { kill -9 $app; echo "${filled:--} $cpu hung"; exit; }
      status=0 && wait $app || status=$?
      echo "${filled:--} $cpu $status"
    ' "$work/$who/quillpost" "$run" "$seconds" "$quit")
  [ "$out" != fail ] || { echo fail; return; }
  local after && after=$(stamps "$work/cache-$who")
  read -r filled cpu status <<< "$out"
  echo "$filled $cpu $([ "$before" = "$after" ] && echo 0 || echo 1) $status"
}

run() {
  local out
  for _ in 1 2 3; do
    out=$(run_once "$@")
    [ "$out" = fail ] || { echo "$out"; return; }
  done
  echo "the program did not start: $*" >&2
  exit 1
}

# Progress lines of a --search right after a quit: 0 when the index was left current.
search_progress() {
  XDG_DATA_HOME="$home" XDG_CACHE_HOME="$work/cache-$1" XDG_CONFIG_HOME="$work/run/config" \
    "$work/$1/quillpost" --search zebracorn 2>&1 >/dev/null | grep -c '^Indexing' || true
}

median() { printf '%s\n' "$@" | { grep -v '^-$' || true; } | sort -g | awk '{a[NR]=$1} END {print NR ? a[int((NR+1)/2)] : "-"}'; }

declare -A figures
for who in this ${baseline:+base}; do
  search_progress "$who" > /dev/null  # the index made current
  run "$who" ctrlq > /dev/null         # the counts cache written
done
for ((r = 1; r <= rounds; r++)); do
  quit=ctrlq && [ $((r % 2)) -eq 0 ] && quit=term
  for who in ${baseline:+base} this; do
    read -r filled cpu wrote status <<< "$(run "$who" "$quit")"
    progress=$(search_progress "$who")
    echo "round $r $who ($quit): filled ${filled} ms, cpu ${cpu} s, caches written $wrote, exit $status, --search progress lines $progress"
    figures[$who-filled]+="$filled " figures[$who-cpu]+="$cpu " figures[$who-wrote]+="$wrote "
    figures[$who-progress]+="$progress "
  done
done

sum() { local t=0; for v in "$@"; do t=$((t + v)); done; echo "$t"; }
row() {
  local label=$1 key=$2 how=${3:-median}
  local mine theirs=""
  mine=$($how ${figures[this-$key]})
  [ -z "$baseline" ] || theirs=$($how ${figures[base-$key]})
  printf '%-64s %10s %10s\n' "$label" "$mine" "$theirs"
}
echo "medians of $rounds starts${baseline:+, alternating with the baseline $baseline}"
printf '%-64s %10s %10s\n' "figure" "this build" "${baseline:+baseline}"
row "start to window filled with counts (ms)" filled
row "CPU seconds in the first $seconds s" cpu
row "starts that wrote to the index or the counts cache (of $rounds)" wrote sum
row "--search after the quit: progress lines (sum over $rounds)" progress sum
