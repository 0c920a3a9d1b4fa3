#!/usr/bin/env bash
# Builds and runs the logic library's tests alone: no Qt, no display. Installs only what that
# needs (on a fresh machine this is where CI proves the logic stands without any Qt package).
# BUILD_DIR picks the build folder (default build-logic).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh build-essential cmake pkg-config libpugixml-dev libgtest-dev \
  libgmock-dev libbenchmark-dev libsqlite3-dev
if dpkg-query -W -f='${Status}' libqt6core6 2>/dev/null | grep -q "install ok installed"; then
  echo "Qt is installed here; the build below does not look for it."
else
  echo "No Qt package on this machine."
fi
build="${BUILD_DIR:-build-logic}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
