#!/usr/bin/env bash
# The launcher entry and the AppStream metainfo, installed as the package installs them, pass
# desktop-file-validate and `appstreamcli validate --no-net`: an error fails, a warning is shown.
# The metainfo's launcher is the installed entry, and its screenshots lie under the base address
# set in CMake.
#
#   desktop_files_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: desktop_files_test.sh BUILD_DIR}" && pwd)
for tool in appstreamcli desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (tools/debian-packages.txt)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/usr" > /dev/null
entry="$work/usr/share/applications/quillpost.desktop"
metainfo=("$work"/usr/share/metainfo/*.metainfo.xml)
[ -f "$entry" ] || fail "no launcher entry installed"
[ -f "${metainfo[0]}" ] && [ "${#metainfo[@]}" = 1 ] || fail "not one metainfo file installed"
desktop-file-validate "$entry" || fail "desktop-file-validate found errors"
appstreamcli validate --no-net --explain "${metainfo[0]}" || fail "appstreamcli found errors"
# The component id names the file; the launcher it names is the entry installed beside it.
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "${metainfo[0]}")
[ "$(basename "${metainfo[0]}")" = "$id.metainfo.xml" ] || fail "the metainfo file is not named after its id $id"
grep -q "<launchable type=\"desktop-id\">$(basename "$entry")</launchable>" "${metainfo[0]}" ||
  fail "the metainfo does not launch $(basename "$entry")"
base=$(sed -n 's/^QP_SCREENSHOT_BASE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$base" ] && [ "$(grep -c "<image>$base/" "${metainfo[0]}")" = "$(grep -c '<image>' "${metainfo[0]}")" ] ||
  fail "a screenshot lies outside the base address '$base'"
echo "desktop files valid"
