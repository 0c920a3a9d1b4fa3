#!/usr/bin/env bash
# The reader's start over a large data folder, under Xvfb, page cache warm:
#   - start to the filled window: the message tree drawn with every source's unread count
#     (the program's own line on standard error, asked for with QUILLPOST_BENCH_TIMING; a build
#     without that line counts from the window's appearance);
#   - resident memory (VmRSS of the process) a second later, before any message opens;
#   - unfolding the first source: from the key press to its messages drawn;
#   - the first start after a restore: no counts cache, the window shows at once and the counts
#     fill in (start to filled), with the unfolding timed while they are counted.
# Each figure is the median of ROUNDS starts; with BASELINE_BUILD the baseline's rounds alternate
# with this build's. Not a test: figures are printed, nothing is asserted.
#
#   bash bench/start_archive.sh BUILD_DIR DATA_FOLDER [ROUNDS] [BASELINE_BUILD_DIR]
#
# DATA_FOLDER is a "Quillpost Data" folder (or the folder holding one), e.g. made with
# BUILD_DIR/bench/qp_make_archive "/tmp/a/Quillpost Data" 500 2000. It is only read; the counts
# cache and the settings live in a temporary folder.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,16p' "$0" >&2; exit 2; }
build=$(cd "$1" && pwd)
data=$2
rounds=${3:-5}
baseline=${4:+$(cd "$4" && pwd)}
[ -f "$data/subscriptions.dat" ] || data="$data/Quillpost Data"
[ -f "$data/subscriptions.dat" ] || { echo "no subscriptions.dat in $2" >&2; exit 2; }
[ "$(basename "$data")" = "Quillpost Data" ] || { echo "the data folder must be named 'Quillpost Data'" >&2; exit 2; }
home=$(cd "$(dirname "$data")" && pwd)
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each build runs from a copy of its own, so that no settings.cfg of a build folder (a check at
# start, say) takes part.
install_copy() {
  mkdir -p "$work/$2"
  cp "$1"/{quillpost,quillpost_webview.so,view.tpl,Help.html} "$work/$2/"
}
install_copy "$build" this
[ -z "$baseline" ] || install_copy "$baseline" base

sources=$(grep -c '<source ' "$data/subscriptions.dat" || true)
messages=$(cat "$data"/*/inbox.dat 2>/dev/null | grep -c '^\[' || true)
echo "data folder: $sources sources, $messages messages, $(du -sh "$data" | cut -f1) ($data)"

# One start: prints "filled_ms rss_kB unfold_ms". With a cache folder that exists the counts
# cache is current (the previous start wrote it); a fresh one is the first start after a restore,
# where the first source is unfolded as soon as the window shows, while the counts fill in.
run_once() {
  local program=$1 cache=$2 early=${3:-}
  local run="$work/run" && rm -rf "$run" && mkdir -p "$run" && chmod 700 "$run"
  XDG_DATA_HOME="$home" XDG_RUNTIME_DIR="$run" XDG_CONFIG_HOME="$run/config" XDG_CACHE_HOME="$cache" \
  QUILLPOST_MESSAGE_LOG="$run/boxes.log" QUILLPOST_BENCH_TIMING=1 \
  QTWEBENGINE_DISABLE_SANDBOX=1 QT_QUICK_BACKEND=software \
  xvfb-run -a -n $((100 + RANDOM % 500)) -s "-screen 0 1280x800x24" bash -c '
    program=$0 run=$1 early=$2
    # A build without the timing lines (an older baseline) is timed by its window alone.
    timed=$(grep -c -m1 quillpost-timing "$program" || true)
    unfold() {
      xdotool windowfocus --sync "$wid" 2>/dev/null || true
      xdotool key --clearmodifiers Home
      sleep 0.3
      xdotool key --clearmodifiers Right
    }
    start=$(date +%s%3N)
    "$program" 2> "$run/err" & app=$!
    until wid=$(xdotool search --onlyvisible --name "Quillpost \(Standard Version\)" 2>/dev/null | head -1) && [ -n "$wid" ]; do
      # A program that could not start (a display taken by another session at the same moment)
      # fails the round, which is run again.
      kill -0 $app 2>/dev/null && [ $(( $(date +%s%3N) - start )) -lt 60000 ] || { echo fail; exit; }
      sleep 0.01
    done
    mapped=$(date +%s%3N)
    [ -z "$early" ] || unfold
    # The filled line, when this build writes one (at most 60 s).
    for _ in $(seq $((timed ? 600 : 0))); do grep -q "^quillpost-timing filled" "$run/err" && break; sleep 0.1; done
    filled=$(awk "/^quillpost-timing filled/ {print \$3}" "$run/err")
    [ -n "$filled" ] || filled=$mapped
    sleep 1
    rss=$(awk "/^VmRSS/ {print \$2}" /proc/$app/status)
    [ -n "$early" ] || unfold
    for _ in $(seq $((timed ? 100 : 0))); do grep -q "^quillpost-timing unfolded" "$run/err" && break; sleep 0.05; done
    unfold=$(awk "/^quillpost-timing unfolded/ {print \$6; exit}" "$run/err")
    echo "$((filled - start)) $rss ${unfold:--}"
    kill $app; wait $app 2>/dev/null || true
  ' "$program" "$run" "$early"
}

# run_once until it succeeds (three tries).
run() {
  local out
  for _ in 1 2 3; do
    out=$(run_once "$@")
    [ "$out" = fail ] || { echo "$out"; return; }
  done
  echo "the program did not start: $*" >&2
  exit 1
}

median() { printf '%s\n' "$@" | { grep -v '^-$' || true; } | sort -n | awk '{a[NR]=$1} END {print NR ? a[int((NR+1)/2)] : "-"}'; }

declare -A figures
# A warm-up start per build: the page cache holds the inboxes (the baseline reads them all) and
# this build writes its counts cache.
for who in this ${baseline:+base}; do
  run "$work/$who/quillpost" "$work/cache-$who" > /dev/null
done
for ((r = 1; r <= rounds; r++)); do
  for who in ${baseline:+base} this; do
    out=$(run "$work/$who/quillpost" "$work/cache-$who")
    read -r filled rss unfold <<< "$out"
    figures[$who-filled]+="$filled " figures[$who-rss]+="$rss " figures[$who-unfold]+="$unfold "
    # The first start after a restore: no counts cache at all.
    out=$(run "$work/$who/quillpost" "$work/cold-$who-$r" early)
    read -r filled _ unfold <<< "$out"
    figures[$who-cold]+="$filled " figures[$who-coldunfold]+="$unfold "
  done
done

row() {
  local label=$1 key=$2 scale=${3:-1}
  local mine
  mine=$(median ${figures[this-$key]})
  [ "$mine" = - ] || mine=$((mine / scale))
  if [ -n "$baseline" ]; then
    local theirs
    theirs=$(median ${figures[base-$key]})
    [ "$theirs" = - ] || theirs=$((theirs / scale))
    printf '%-58s %10s %10s\n' "$label" "$mine" "$theirs"
  else
    printf '%-58s %10s\n' "$label" "$mine"
  fi
}
echo "medians of $rounds starts${baseline:+, alternating with the baseline $baseline}"
printf '%-58s %10s %10s\n' "figure" "this build" "${baseline:+baseline}"
row "start to filled window, counts cache current (ms)" filled
row "resident memory before any message opens (MB)" rss 1024
row "unfolding a source (ms)" unfold
row "first start after a restore: start to counts filled (ms)" cold
row "unfolding a source while the counts fill in (ms)" coldunfold
