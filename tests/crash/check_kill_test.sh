#!/usr/bin/env bash
# Kills writers of the program's files with SIGKILL at random moments and checks what they leave.
#   rewrite: the probe rewrites a 5 MB inbox through cINI, flipping one entry between two values;
#     after each kill the file must be byte for byte one of the two, never a mix or a cut.
#   check: `quillpost --check` over 20 sources on the loopback feed server, which gain a message
#     each round while some stored read flags change. After each kill every file parses, every
#     message stored before is there with its read flag, and a run that stored anything removed
#     the temporaries earlier kills left, and only those (near-miss names planted beside them
#     stay). Every tenth run, and the last, goes to its end and leaves no temporary at all.
# The delays spread over the duration of a whole run, so a slow build (sanitizers) is killed at
# the same stages as a fast one; runs that end before their kill count as whole runs.
#
#   bash tests/crash/check_kill_test.sh BUILD_DIR [KILLS]     (KILLS of each kind, default 50)
# QP_CRASH_KINDS="rewrite check" picks the kinds; QP_CRASH_SEED repeats the random delays;
# QP_CRASH_KEEP=1 keeps the work folder; QP_CRASH_WINDOW sets the items per feed (100).
set -euo pipefail
export LC_ALL=C  # comm and sort compare bytes, as the probe sorts
build=$(cd "${1:?usage: check_kill_test.sh BUILD_DIR [KILLS]}" && pwd)
kills=${2:-50}
kinds=${QP_CRASH_KINDS:-rewrite check}
program="$build/quillpost" server="$build/qp_feed_server" probe="$build/tests/crash/qp_crash_probe"
needed=("$probe")
[[ " $kinds " == *" check "* ]] && needed+=("$program" "$server")
for tool in "${needed[@]}"; do
  [ -x "$tool" ] || { echo "FAIL: $tool is missing (build it first)" >&2; exit 1; }
done

readonly sources=20 window=${QP_CRASH_WINDOW:-100} flips=5 whole_every=10
seed=${QP_CRASH_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed
work=$(mktemp -d)
server_pid='' pid=''
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; fi
  wait 2>/dev/null
  if [ "${QP_CRASH_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

run=0 failures=0
violation() { echo "FAIL (${kind:-} run $run): $*" >&2; failures=$((failures + 1)); }
fatal() { violation "$@"; exit 1; }
now_ms() { date +%s%3N; }
temporaries() { find "$1" -regextype posix-extended -regex '.*\.qptmp-[0-9a-z]{10}' | sort; }
# Starts a command, kills it after a random part of duration_ms; status 137 when it was killed.
duration_ms=0
kill_during() {
  local delay=$(( (RANDOM * 32768 + RANDOM) % (duration_ms + 1) ))
  "$@" > "$work/out" 2> "$work/err" &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  status=0
  { wait "$pid"; } 2>/dev/null || status=$?
  pid=''
}
timed() {
  local start
  start=$(now_ms)
  status=0
  "$@" > "$work/out" 2> "$work/err" || status=$?
  duration_ms=$(( $(now_ms) - start ))
}

rewrite_kills() {
  local file="$work/rewrite/inbox.dat" killed=0 found_a=0 found_b=0 left=0
  mkdir -p "$work/rewrite"
  "$probe" inbox a > "$work/a.dat"
  "$probe" inbox b > "$work/b.dat"
  cp "$work/a.dat" "$file"
  timed "$probe" rewrite "$file" 2
  [ "$status" = 0 ] || fatal "the probe cannot rewrite: $(cat "$work/err")"
  for ((run = 1; killed < kills; run++)); do
    [ "$run" -le $((2 * kills + 10)) ] || fatal "the rewrites keep ending before the kill"
    kill_during "$probe" rewrite "$file"
    [ "$status" = 137 ] && killed=$((killed + 1))
    if cmp -s "$file" "$work/a.dat"; then found_a=$((found_a + 1))
    elif cmp -s "$file" "$work/b.dat"; then found_b=$((found_b + 1))
    else fatal "the file is neither the old nor the new one ($(stat -c %s "$file") bytes)"; fi
    [ -z "$(temporaries "$work/rewrite")" ] || left=$((left + 1))
    rm -f "$work/rewrite/"*.qptmp-*
  done
  echo "rewrite: $killed kills of a ${duration_ms} ms double rewrite of $(stat -c %s "$file")" \
       "bytes; found a $found_a, b $found_b times; $left left a temporary"
}

check_kills() {
  local data="$work/data/Quillpost Data" killed=0 before_store=0 temps_gone=0 completed=0
  mkdir -p "$work/feeds" "$work/run" "$work/config" "$data"
  export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
  unset QUILLPOST_MESSAGE_LOG
  local round=$window
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

  whole_run() {  # all sources checked, nothing on standard error, no temporary anywhere
    timed "$program" --check
    completed=$((completed + 1))
    if grep -q 'Working Offline' "$work/err"; then
      fatal "no network connection: a network interface other than loopback must be up"
    fi
    [ "$status" = 0 ] && [ ! -s "$work/err" ] ||
      violation "a whole run ended with status $status: $(head -5 "$work/err")"
    [ -z "$(temporaries "$data")" ] || violation "temporaries remain after a whole run"
  }
  whole_run
  [ "$("$probe" dump "$data" "$sources" | wc -l)" -eq $((sources * window)) ] ||
    fatal "the first run did not store $((sources * window)) messages"
  # The delays follow a run that stores one message a source, as the killed runs do.
  round=$((round + 1))
  "$probe" feeds "$work/feeds" "$sources" "$round" "$window"
  whole_run
  echo "check: a whole run takes ${duration_ms} ms; $kills kills follow"

  for ((run = 1; killed < kills; run++)); do
    [ "$run" -le $((2 * kills + 10)) ] || fatal "the runs keep ending before the kill"
    round=$((round + 1))
    "$probe" feeds "$work/feeds" "$sources" "$round" "$window"
    "$probe" flip "$data" "$sources" "$flips" "$((seed * 1000 + run))" > "$work/before" ||
      fatal "cannot flip read flags"
    local earlier
    earlier=$(temporaries "$data")  # left by earlier kills, for this run's start to remove
    kill_during "$program" --check
    [ ! -s "$work/err" ] || violation "the check wrote to standard error: $(head -5 "$work/err")"
    "$probe" dump "$data" "$sources" > "$work/after" || fatal "the data is damaged after the kill"
    if [ "$status" = 137 ]; then
      killed=$((killed + 1))
      if cmp -s "$work/before" "$work/after"; then before_store=$((before_store + 1)); fi
    else
      completed=$((completed + 1))
      [ "$status" = 0 ] && [ -z "$(temporaries "$data")" ] ||
        violation "a run that ended had status $status or left a temporary"
    fi
    cmp -s "$data/subscriptions.dat" "$work/subscriptions.orig" ||
      violation "subscriptions.dat changed"
    local lost
    lost=$(comm -23 "$work/before" "$work/after")
    [ -z "$lost" ] || violation "messages lost or their read flag changed: $(head -5 <<< "$lost")"
    # A run that stored anything had taken the lock and so removed what earlier kills left.
    if [ "$(wc -l < "$work/after")" -gt "$(wc -l < "$work/before")" ] && [ -n "$earlier" ]; then
      while IFS= read -r old; do
        if [ -e "$old" ]; then violation "a later start kept the temporary $old"; fi
      done <<< "$earlier"
      temps_gone=$((temps_gone + $(wc -l <<< "$earlier")))
    fi
    if [ $((run % whole_every)) = 0 ] || [ "$killed" = "$kills" ]; then whole_run; fi
  done
  for f in "${decoys[@]}"; do [ "$(cat "$f")" = mine ] || violation "$f was removed"; done
  echo "check: $killed kills ($before_store before anything was stored), $temps_gone" \
       "temporaries seen removed by a later run, $completed runs completed," \
       "$("$probe" dump "$data" "$sources" | wc -l) messages at the end"
}

echo "seed $seed"
for kind in $kinds; do
  case "$kind" in
    rewrite) rewrite_kills ;;
    check) check_kills ;;
    *) fatal "unknown kind $kind" ;;
  esac
done
echo "$failures failures"
[ "$failures" = 0 ]
