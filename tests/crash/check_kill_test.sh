#!/usr/bin/env bash
# Kills writers of the program's files (SIGKILL, random moments within a whole run's time, so a
# slow sanitizer build is killed at the same stages) and checks what they leave:
#   rewrite: the probe flips one entry of a 5 MB inbox through cINI; the file is then byte for
#     byte the old or the new one, never torn.
#   check: `quillpost --check` over 20 sources whose feeds grow each round while read flags
#     change and messages are deleted, some rounds served as an empty channel or a shortened
#     feed (a server's bad day): every file stays whole, every message stored before keeps its
#     read flag, no deleted message ever comes back, a run that stored anything removed the
#     temporaries earlier kills left, and only those; every count of the counts cache (current
#     before the run) that it still vouches for is the inbox's. Every tenth run and the last run
#     to their end and leave no temporary. The search index the check keeps current agrees with
#     a plain scan of the inboxes after every kill.
#   index: `quillpost --search` building or catching up the search index over an archive whose
#     read flags change, messages go and index starts afresh between runs: after every kill a
#     whole search prints exactly what a plain scan of the inboxes finds.
#   bash tests/crash/check_kill_test.sh BUILD_DIR [KILLS]      (KILLS of each kind, default 50)
# QP_CRASH_KINDS="rewrite check index" picks the kinds, QP_CRASH_SEED repeats the delays,
# QP_CRASH_KEEP=1 keeps the work folder, QP_CRASH_WINDOW sets the items per feed (100).
set -euo pipefail
export LC_ALL=C  # comm and sort compare bytes, as the probe sorts
build=$(cd "${1:?usage: check_kill_test.sh BUILD_DIR [KILLS]}" && pwd)
kills=${2:-50} kinds=${QP_CRASH_KINDS:-rewrite check index}
program="$build/quillpost" server="$build/qp_feed_server" probe="$build/tests/crash/qp_crash_probe"
for tool in "$probe" $([[ " $kinds " == *" check "* ]] && echo "$program $server") \
  $([[ " $kinds " == *" index "* ]] && echo "$program"); do
  [ -x "$tool" ] || { echo "FAIL: $tool is missing (build it first)" >&2; exit 1; }
done
readonly sources=20 window=${QP_CRASH_WINDOW:-100} flips=5
seed=${QP_CRASH_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed
work=$(mktemp -d) server_pid='' pid='' run=0 failures=0 duration_ms=0 status=0
cleanup() {
  kill -KILL $pid $server_pid 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "${QP_CRASH_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
violation() { echo "FAIL ($kind, run $run): $*" >&2; failures=$((failures + 1)); }
fatal() { violation "$@"; exit 1; }
temporaries() { find "$1" -regextype posix-extended -regex '.*\.qptmp-[0-9a-z]{10}' | sort; }
timed() {  # runs a command to its end and takes its time
  local start
  start=$(date +%s%3N)
  status=0
  "$@" > "$work/out" 2> "$work/err" || status=$?
  duration_ms=$(( $(date +%s%3N) - start ))
}
kill_during() {  # status 137 when the kill came before the end
  local delay=$(( (RANDOM * 32768 + RANDOM) % (duration_ms + 1) ))
  "$@" > "$work/out" 2> "$work/err" &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  status=0
  { wait "$pid"; } 2>/dev/null || status=$?
  pid=''
  [ "$status" = 137 ] && killed=$((killed + 1))
  [ "$run" -le $((2 * kills + 10)) ] || fatal "the runs keep ending before the kill"
}

# A whole `--search QUERY` over DATA prints what a plain scan for WORD finds (unread ones only
# with "unread"), in any order.
agrees() {
  local data=$1 query=$2 word=$3 mode=${4:-} st=0
  "$program" --search "$query" > "$work/found" 2> "$work/search-err" || st=$?
  if [ "$st" != 0 ] && [ "$st" != 1 ]; then
    violation "--search $query ended with $st: $(head -3 "$work/search-err")"
    return
  fi
  "$probe" scan "$data" "$word" $mode | sort > "$work/expected" || fatal "cannot scan $data"
  sort "$work/found" | cmp -s - "$work/expected" ||
    violation "--search $query disagrees with the inboxes: $(sort "$work/found" |
      diff - "$work/expected" | head -4 | tr '\n' ' ')"
}

rewrite_kills() {
  local file="$work/rewrite/inbox.dat" found_a=0 left=0 body a
  body=$(head -c 4900 /dev/zero | tr '\0' m) a=$(head -c 4096 /dev/zero | tr '\0' a)
  for i in $(seq 1000); do  # an inbox of 5 MB, one description to flip between a's and b's
    printf '[m%d]\r\ntitle=Message %d\r\ndescription=%s\r\nread=0\r\n' "$i" "$i" \
      "$([ "$i" = 500 ] && echo "$a" || echo "$body")"
  done > "$work/a.dat"
  mkdir -p "$work/rewrite"
  cp "$work/a.dat" "$work/b.dat"
  cp "$work/a.dat" "$file"
  "$probe" rewrite "$work/b.dat" 1
  timed "$probe" rewrite "$file" 2
  [ "$status" = 0 ] || fatal "the probe cannot rewrite: $(cat "$work/err")"
  for ((run = 1, killed = 0; killed < kills; run++)); do
    kill_during "$probe" rewrite "$file"
    [ "$status" = 137 ] || fatal "the rewrite ended: $(cat "$work/err")"
    if cmp -s "$file" "$work/a.dat"; then found_a=$((found_a + 1))
    elif ! cmp -s "$file" "$work/b.dat"; then fatal "the file is torn ($(stat -c %s "$file") bytes)"; fi
    [ -z "$(temporaries "$work/rewrite")" ] || left=$((left + 1))
    rm -f "$work/rewrite/"*.qptmp-*
  done
  echo "rewrite: $killed kills within ${duration_ms} ms of two rewrites, $found_a found a," \
       "$((run - 1 - found_a)) b, $left left a temporary"
}

check_kills() {
  local data="$work/data/Quillpost Data" round=$window before_store=0 temps_gone=0 earlier lost back
  local shown vouched=0 held cache
  mkdir -p "$work/feeds" "$work/run" "$work/config" "$data"
  : > "$work/deleted"
  export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache"
  unset QUILLPOST_MESSAGE_LOG
  "$probe" feeds "$work/feeds" "$sources" "$round" "$window"
  "$server" --dir "$work/feeds" > "$work/port" &
  server_pid=$!
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  [ -s "$work/port" ] || fatal "the feed server did not start"
  {
    printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
    for n in $(seq -w 1 "$sources"); do
      printf '<source id="%s" title="Letter %s">http://127.0.0.1:%s/feed-%s.xml</source>\r\n' \
        "$(tr a-f A-F < /proc/sys/kernel/random/uuid)" "$n" "$(cat "$work/port")" "$n"
    done
    printf '</sources>\r\n'
  } > "$data/subscriptions.dat"
  cp "$data/subscriptions.dat" "$work/subscriptions.orig"
  # Near misses of the temporary form are someone else's files.
  local decoys=("$data/subscriptions.dat.qptmp-0A1B2C3D4Z" "$data/inbox.dat.qptmp-0a1b2c3d4")
  for f in "${decoys[@]}"; do echo mine > "$f"; done
  whole_run() {
    timed "$program" --check
    ! grep -q 'Working Offline' "$work/err" || fatal "offline: no interface but loopback is up"
    [ "$status" = 0 ] && [ ! -s "$work/err" ] && [ -z "$(temporaries "$data")" ] ||
      violation "a whole run ended with status $status, a temporary left or: $(head -3 "$work/err")"
  }
  whole_run
  [ "$("$probe" dump "$data" "$sources" | wc -l)" = $((sources * window)) ] ||
    fatal "the first run did not store $((sources * window)) messages"
  # From now on each check keeps this index current.
  agrees "$data" issue issue
  # Time a run that stores one message a source, as the killed runs do.
  "$probe" feeds "$work/feeds" "$sources" $((++round)) "$window"
  whole_run
  echo "check: a whole run takes ${duration_ms} ms"
  cache=$(echo "$work"/cache/Quillpost/*/)counts.dat

  for ((run = 1, killed = 0; killed < kills; run++)); do
    # A bad day drops items for a round; the deleted ones among them must stay deleted after.
    case $((RANDOM % 4)) in
      0) shown=0 ;;
      1) shown=$((window / 5)) ;;
      *) shown=$window ;;
    esac
    "$probe" feeds "$work/feeds" "$sources" $((++round)) "$shown"
    "$probe" delete "$data" "$sources" 2 "$((seed * 1000 + run))" >> "$work/deleted" ||
      fatal "cannot delete messages"
    "$probe" flip "$data" "$sources" "$flips" "$((seed * 1000 + run))" > "$work/before" ||
      fatal "cannot flip read flags"
    "$probe" recount "$data" "$cache" || fatal "cannot count the inboxes"
    earlier=$(temporaries "$data")
    kill_during "$program" --check
    [ ! -s "$work/err" ] || violation "the check wrote to standard error: $(head -3 "$work/err")"
    "$probe" dump "$data" "$sources" > "$work/after" || fatal "the data is damaged after the kill"
    if [ "$status" != 137 ] && { [ "$status" != 0 ] || [ -n "$(temporaries "$data")" ]; }; then
      violation "a run that ended had status $status or left a temporary"
    fi
    cmp -s "$work/before" "$work/after" && before_store=$((before_store + 1))
    cmp -s "$data/subscriptions.dat" "$work/subscriptions.orig" || violation "subscriptions.dat changed"
    lost=$(comm -23 "$work/before" "$work/after")
    [ -z "$lost" ] || violation "messages lost or their read flag changed: $(head -3 <<< "$lost")"
    back=$(cut -f1,2 "$work/after" | sort | comm -12 - <(sort "$work/deleted"))
    [ -z "$back" ] || violation "deleted messages came back: $(head -3 <<< "$back")"
    agrees "$data" "is:unread issue" issue unread
    # A run that stored anything had taken the lock and so removed what earlier kills left.
    if [ "$(wc -l < "$work/after")" -gt "$(wc -l < "$work/before")" ] && [ -n "$earlier" ]; then
      while IFS= read -r old; do [ ! -e "$old" ] || violation "a later start kept $old"; done <<< "$earlier"
      temps_gone=$((temps_gone + $(wc -l <<< "$earlier")))
    fi
    if [ $((run % 10)) = 0 ] || [ "$killed" = "$kills" ]; then whole_run; fi
    held=$("$probe" counts "$data" "$cache") ||
      violation "the counts cache is wrong: $held"
    vouched=$((vouched + ${held:-0}))
  done
  for f in "${decoys[@]}"; do [ "$(cat "$f")" = mine ] || violation "$f was removed"; done
  echo "check: $killed kills in $((run - 1)) runs, $before_store before anything was stored," \
       "$temps_gone temporaries removed by a later run," \
       "$(wc -l < "$work/deleted") deleted, $vouched source counts held by the counts cache," \
       "$("$probe" dump "$data" "$sources" | wc -l) messages at the end"
}

index_kills() {
  local data="$work/index/Quillpost Data" count=12 messages=250 afresh=0
  mkdir -p "$data" "$work/run" "$work/config"
  export XDG_DATA_HOME="$work/index" XDG_CACHE_HOME="$work/index-cache"
  export XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
  "$probe" archive "$data" "$count" "$messages" "$seed" || fatal "cannot write the archive"
  timed "$program" --search zebracorn
  [ "$status" = 0 ] || fatal "the first search ended with $status: $(head -3 "$work/err")"
  echo "index: a first index of $((count * messages)) messages takes ${duration_ms} ms"
  for ((run = 1, killed = 0; killed < kills; run++)); do
    case $((RANDOM % 4)) in
      0) "$probe" flip "$data" "$count" 30 "$((seed * 1000 + run))" > /dev/null ;;
      1) "$probe" delete "$data" "$count" 3 "$((seed * 1000 + run))" > /dev/null ;;
      *) rm -rf "$XDG_CACHE_HOME"; afresh=$((afresh + 1)) ;;
    esac
    kill_during "$program" --search zebracorn
    agrees "$data" zebracorn zebracorn
    agrees "$data" "is:unread zebracorn" zebracorn unread
  done
  echo "index: $killed kills in $((run - 1)) runs ($afresh from no index), each followed by" \
       "searches that agree with the inboxes"
}

echo "seed $seed"
for kind in $kinds; do
  declare -F "${kind}_kills" > /dev/null || fatal "unknown kind"
  "${kind}_kills"
done
echo "$failures failures"
[ "$failures" = 0 ]
