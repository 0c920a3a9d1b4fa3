#!/usr/bin/env bash
# Kills the headless check at random moments and checks what it leaves behind. Twenty sources
# on the loopback feed server gain a message each between runs, and some stored messages change
# their read flag, so every run has inboxes to rewrite. After each kill: subscriptions.dat still
# parses with all sources, every inbox is whole, every message stored before the run is still
# there with its read flag, and a temporary left by the kill is gone once a later run got far
# enough to store anything. Every tenth run, and the last, goes to its end and must leave no
# temporary at all. The delays spread over the duration of the last whole run, so a slow build
# (sanitizers) is killed at the same stages as a fast one.
#
#   bash tests/crash/check_kill_test.sh BUILD_DIR [KILLS]      (KILLS defaults to 50)
# Runs that end before their kill comes count as whole runs, not as kills.
# QP_CRASH_SEED fixes the random delays; QP_CRASH_KEEP=1 keeps the work folder;
# QP_CRASH_WINDOW sets how many items each feed carries (100; a sanitizer build wants fewer).
set -euo pipefail
export LC_ALL=C  # comm and sort compare bytes, as the probe sorts
build=$(cd "${1:?usage: check_kill_test.sh BUILD_DIR [KILLS]}" && pwd)
kills=${2:-50}
program="$build/quillpost"
server="$build/qp_feed_server"
probe="$build/tests/crash/qp_crash_probe"
for tool in "$program" "$server" "$probe"; do
  [ -x "$tool" ] || { echo "FAIL: $tool is missing (build it first)" >&2; exit 1; }
done

readonly sources=20 window=${QP_CRASH_WINDOW:-100} flips=5 whole_every=10
seed=${QP_CRASH_SEED:-$(( $(date +%s) % 32768 ))}
RANDOM=$seed

work=$(mktemp -d)
server_pid=
check_pid=
cleanup() {
  if [ -n "$check_pid" ]; then kill -KILL "$check_pid" 2>/dev/null; fi
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; fi
  wait 2>/dev/null
  if [ "${QP_CRASH_KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

data="$work/data/Quillpost Data"
mkdir -p "$work/feeds" "$work/run" "$work/config" "$data"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
unset QUILLPOST_MESSAGE_LOG

# Figures for the summary.
killed=0 before_store=0 with_temp=0 temps_found=0 temps_gone=0 completed=0 checked=0 failures=0
summary() {
  local messages
  messages=$("$probe" dump "$data" "$sources" 2>/dev/null | wc -l) || messages="?"
  echo "seed $seed: $killed kills ($before_store before anything was stored)," \
       "$with_temp left a temporary ($temps_found in all, $temps_gone seen removed by a later run" \
       "that stored messages), $completed runs completed, $checked stored messages checked" \
       "after kills, $messages messages at the end, $failures failures"
}
violation() {
  echo "FAIL (run $run): $*" >&2
  failures=$((failures + 1))
}
fatal() {
  echo "FAIL (run $run): $*" >&2
  failures=$((failures + 1))
  summary
  exit 1
}
now_ms() { date +%s%3N; }
temporaries() { find "$data" -name '*.qptmp-*' | sort; }
# Every message of the output of the run, for a failure report.
check_output() {
  if grep -q 'Working Offline' "$work/err"; then
    fatal "the check found no network connection: a network interface other than loopback must be up"
  fi
  if [ -s "$work/err" ]; then
    violation "the check wrote to standard error:"
    head -20 "$work/err" >&2
  fi
}

run=0
round=$window
"$probe" feeds "$work/feeds" "$sources" "$round" "$window"
"$server" --dir "$work/feeds" > "$work/port" &
server_pid=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || fatal "the feed server did not start"
port=$(cat "$work/port")

{
  printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
  for n in $(seq -w 1 "$sources"); do
    printf '<source id="%s" title="Letter %s">http://127.0.0.1:%s/feed-%s.xml</source>\r\n' \
      "$(tr a-f A-F < /proc/sys/kernel/random/uuid)" "$n" "$port" "$n"
  done
  printf '</sources>\r\n'
} > "$data/subscriptions.dat"
cp "$data/subscriptions.dat" "$work/subscriptions.orig"

# A run to its end: all sources checked, nothing on standard error, no temporary anywhere.
duration_ms=0
whole_run() {
  local start status=0
  start=$(now_ms)
  "$program" --check > "$work/out" 2> "$work/err" || status=$?
  duration_ms=$(( $(now_ms) - start ))
  completed=$((completed + 1))
  check_output
  [ "$status" = 0 ] || violation "a whole run ended with status $status"
  local left
  left=$(temporaries)
  [ -z "$left" ] || violation "temporaries remain after a whole run: $left"
}

whole_run
[ "$("$probe" dump "$data" "$sources" | wc -l)" -eq $((sources * window)) ] ||
  fatal "the first run did not store $((sources * window)) messages"
# The first run stored whole feeds; the delays follow a run that stores one message a source.
round=$((round + 1))
"$probe" feeds "$work/feeds" "$sources" "$round" "$window"
whole_run
echo "seed $seed; a whole run takes ${duration_ms} ms; $kills kills follow"

# Runs that end before their kill do not count; the cap only stops a program that always does.
while [ "$killed" -lt "$kills" ]; do
  run=$((run + 1))
  [ "$run" -le $((2 * kills + 10)) ] || fatal "the runs keep ending before the kill"
  round=$((round + 1))
  "$probe" feeds "$work/feeds" "$sources" "$round" "$window"
  "$probe" flip "$data" "$sources" "$flips" "$((seed * 1000 + run))" > "$work/before" ||
    fatal "cannot flip read flags"

  earlier=$(temporaries)  # left by earlier kills, for this run's start to remove
  delay_ms=$(( (RANDOM * 32768 + RANDOM) % (duration_ms + 1) ))
  "$program" --check > "$work/out" 2> "$work/err" &
  check_pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -KILL "$check_pid" 2>/dev/null || true
  status=0
  { wait "$check_pid"; } 2>/dev/null || status=$?
  check_pid=
  check_output
  "$probe" dump "$data" "$sources" > "$work/after" || fatal "the data is damaged after the kill"
  if [ "$status" = 137 ]; then
    killed=$((killed + 1))
    if cmp -s "$work/before" "$work/after"; then before_store=$((before_store + 1)); fi
  else
    # It finished before the kill came.
    completed=$((completed + 1))
    [ "$status" = 0 ] || violation "a run ended with status $status"
    [ -z "$(temporaries)" ] || violation "a run that ended left a temporary"
  fi

  cmp -s "$data/subscriptions.dat" "$work/subscriptions.orig" ||
    violation "subscriptions.dat changed"
  lost=$(comm -23 "$work/before" "$work/after")
  if [ -n "$lost" ]; then
    violation "messages lost or their read flag changed:"
    head -10 <<< "$lost" >&2
  fi
  checked=$((checked + $(wc -l < "$work/before")))

  # A run that stored anything had taken the lock and so removed what earlier kills left.
  if [ "$(wc -l < "$work/after")" -gt "$(wc -l < "$work/before")" ]; then
    while IFS= read -r old; do
      [ -n "$old" ] || continue
      if [ -e "$old" ]; then
        violation "a later start kept the temporary $old"
      else
        temps_gone=$((temps_gone + 1))
      fi
    done <<< "$earlier"
  fi
  new=$(comm -13 <(printf '%s\n' "$earlier") <(temporaries) | sed '/^$/d')
  if [ -n "$new" ]; then
    with_temp=$((with_temp + 1))
    temps_found=$((temps_found + $(wc -l <<< "$new")))
  fi

  if [ $((run % whole_every)) = 0 ] || [ "$killed" = "$kills" ]; then
    earlier=$(temporaries)
    whole_run
    if [ -n "$earlier" ] && [ -z "$(temporaries)" ]; then
      temps_gone=$((temps_gone + $(wc -l <<< "$earlier")))
    fi
    echo "after run $run: $killed kills, $with_temp left a temporary; a whole run takes ${duration_ms} ms"
  fi
done

summary
[ "$failures" = 0 ]
