#!/usr/bin/env bash
# Builds the Debian package quillpost_<version>_<arch>.deb with CPack's DEB generator in its own
# build folder (Debian's build flags, no tests), checks its launcher entry with
# desktop-file-validate and the package with lintian, and prints the package's path last.
# Fails when lintian reports an error.
#
#   bash tools/package.sh          (PACKAGE_BUILD_DIR picks the build folder, default build-pkg)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

# What packing and checking need beyond the build.
bash tools/install-deps.sh dpkg-dev file lintian desktop-file-utils

build="${PACKAGE_BUILD_DIR:-build-pkg}"
# Dates inside the package (manual page, changelog) are those of the last commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
# Compiled as Debian compiles its own packages: optimised, hardened, with debug information that
# CPack strips.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DQP_BUILD_TESTS=OFF -DQP_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -f "$build"/quillpost_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quillpost_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: CPack made no package" >&2; exit 1; }
deb=${debs[0]}

# The launcher entry as the package holds it, with its final command.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/quillpost.desktop"

echo "lintian $(basename "$deb"):"
lintian --fail-on error "$deb"
echo "$deb"
