#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test headless.
# BUILD_DIR picks the build folder (default build); QP_SANITIZE=1 builds with ASan + UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${QP_SANITIZE:-0}" = 1 ]; then
  args=(-DCMAKE_BUILD_TYPE=Debug -DQP_SANITIZE=ON -DQP_BUILD_BENCH=OFF)
  # Qt's own libraries keep some allocations until exit; leaks of ours show in the logic tests.
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
fi
export QT_QPA_PLATFORM=offscreen
cmake -S . -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
