#!/usr/bin/env bash
# Outcome and peak RSS of `quillpost --check` for each hostile feed of tests/hostile: runs the
# hostile test program, whose rows each print one "hostile-rss" line (exit status, the child's
# peak resident set from wait4, wall time). Not a test: the figures are for reading.
#
#   bash bench/hostile_rss.sh            # the dripping server runs in process, 1.5 s time-out
#   FULL_TIMEOUT=1 bash bench/hostile_rss.sh   # it runs as a program too, against the real 60 s
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target qp_hostile_tests quillpost >/dev/null

export QT_QPA_PLATFORM=offscreen
[ "${FULL_TIMEOUT:-0}" = 1 ] && export QP_HOSTILE_FULL_TIMEOUT=1
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$build/tests/hostile/qp_hostile_tests" --gtest_brief=1 > "$log" 2>&1 || status=$?
echo "build: $build ($(grep -m1 CMAKE_BUILD_TYPE: "$build/CMakeCache.txt" | cut -d= -f2))"
grep '^hostile-rss' "$log" | sed 's/^hostile-rss //'
if [ "$status" != 0 ]; then
  echo "some hostile row failed:"
  grep -v '^hostile-rss' "$log"
fi
exit "$status"
