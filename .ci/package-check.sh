#!/usr/bin/env bash
# CI: builds the Debian package, installs it with apt-get, runs the installed /usr/bin/quillpost
# (--help, --check against the demo's channels on a loopback feed server, with data, settings
# and lock in a temporary folder, and the drop box opened and closed under Xvfb, whose placement
# must be saved in the user's configuration folder even by root), removes and purges the package,
# and proves that nothing of it is left in /usr. Installs what it needs itself and exits non-zero
# on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${PACKAGE_BUILD_DIR:-build-pkg}"
fail() { echo "FAIL: $*" >&2; exit 1; }

dpkg-query -W -f='${Status}' quillpost 2>/dev/null | grep -q "install ok installed" &&
  fail "quillpost is installed already; remove it before this check"

# Beyond what tools/package.sh installs: man for the manual page, an X server for the window.
bash tools/install-deps.sh man-db xvfb xauth xdotool
bash tools/package.sh
debs=("$build"/quillpost_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "expected one package in $build, found: ${debs[*]}"
fi
deb=$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")
version=$(dpkg-deb -f "$deb" Version)

work=$(mktemp -d)
server=''
installed=0
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 "$@"; }
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  if [ "$installed" = 1 ]; then apt_get purge -y -qq quillpost >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# What /usr held before, and which of the package's paths were there already (shared folders).
find /usr -xdev | LC_ALL=C sort > "$work/usr-before"
dpkg-deb -c "$deb" | awk '{ p = $6; sub(/^\./, "", p); sub(/\/$/, "", p); print p }' |
  grep . | LC_ALL=C sort > "$work/package-paths"
LC_ALL=C comm -12 "$work/package-paths" "$work/usr-before" > "$work/shared-paths"

installed=1
(cd "$(dirname "$deb")" && apt_get install -y -qq "./$(basename "$deb")" >/dev/null)
[ "$(dpkg-query -W -f='${Status} ${Version}' quillpost)" = "install ok installed $version" ] ||
  fail "quillpost $version is not installed after apt-get install"
[ "$(readlink -f /usr/bin/quillpost)" = /usr/lib/quillpost/quillpost ] ||
  fail "/usr/bin/quillpost does not lead to /usr/lib/quillpost/quillpost"
[ "$(man -w quillpost)" = /usr/share/man/man1/quillpost.1.gz ] || fail "man does not find quillpost(1)"

status=0
/usr/bin/quillpost --help > "$work/help" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "quillpost --help exited with $status: $(cat "$work/help")"
grep -q '^Usage: quillpost ' "$work/help" || fail "quillpost --help printed no usage: $(cat "$work/help")"

# The demo's channels on a loopback server, and a data folder subscribed to three of them.
bash tools/demo/make_demo_feeds.sh "$work/feeds" first
"$build/qp_feed_server" --dir "$work/feeds" > "$work/port" &
server=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || fail "the feed server did not start"
mkdir -m 700 "$work/run"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  XDG_CACHE_HOME="$work/cache"
bash tools/demo/write_subscriptions.sh "$work/data/Quillpost Data" "$(cat "$work/port")"

status=0
(cd "$work" && /usr/bin/quillpost --check > "$work/out" 2> "$work/err") || status=$?
[ "$status" -eq 0 ] || fail "quillpost --check exited with $status: $(cat "$work/err")"
[ "$(cat "$work/out")" = "You have 2 New Messages 
 in Riverside Weekly account.

You have 2 New Messages 
 in The Garden Letter account.

You have 1 New Messages 
 in Kitchen Notes account." ] || fail "unexpected summary (errors: $(cat "$work/err")):
$(cat "$work/out")"
stored=$(cat "$work/data/Quillpost Data"/*/inbox.dat | grep -c '^\[' || true)
[ "$stored" -eq 5 ] || fail "the data folder holds $stored messages, not 5"
kill "$server"; wait "$server" 2>/dev/null || true
server=''

# Settings: as root the program could write beside itself in /usr/lib/quillpost, where a file would
# outlive the package; closing the drop box saves its placement in the user's folder instead.
(cd "$work" && QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 QUILLPOST_MESSAGE_LOG="$work/boxes.log" \
  timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    /usr/bin/quillpost > "$0/gui.log" 2>&1 & app=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillpost \(Standard Version\)" | head -1)
    sleep 1
    for _ in 1 2; do xdotool windowfocus --sync "$wid"; xdotool key --clearmodifiers F9; sleep 1; done
    xdotool windowfocus --sync "$wid"; xdotool key --clearmodifiers ctrl+q
    for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
    kill $app 2>/dev/null; wait $app 2>/dev/null || true' "$work") ||
  fail "the installed program did not run under Xvfb: $(cat "$work/gui.log" 2>/dev/null)"
[ ! -e /usr/lib/quillpost/settings.cfg ] || fail "the installed program wrote /usr/lib/quillpost/settings.cfg"
grep -q '^\[dropbox\]' "$work/config/Quillpost/settings.cfg" 2>/dev/null ||
  fail "closing the drop box saved nothing in \$XDG_CONFIG_HOME/Quillpost/settings.cfg: $(cat "$work/gui.log" "$work/boxes.log" 2>/dev/null)"

apt_get remove -y -qq quillpost >/dev/null
apt_get purge -y -qq quillpost >/dev/null
installed=0
if dpkg-query -W -f='${Status}' quillpost 2>/dev/null | grep -qv "not-installed"; then
  fail "quillpost is still known to dpkg: $(dpkg-query -W -f='${Status}' quillpost)"
fi

# Nothing of the package is left, and nothing that no package owns has appeared in /usr (a path
# a package installed meanwhile by someone else is owned by it).
left=$(LC_ALL=C comm -23 "$work/package-paths" "$work/shared-paths" |
  while read -r p; do if [ -e "$p" ] || [ -L "$p" ]; then echo "$p"; fi; done)
[ -z "$left" ] || fail "the package's paths are left after removal:
$left"
find /usr -xdev | LC_ALL=C sort > "$work/usr-after"
stray=$(LC_ALL=C comm -13 "$work/usr-before" "$work/usr-after" |
  while read -r p; do dpkg -S "$p" >/dev/null 2>&1 || echo "$p"; done)
[ -z "$stray" ] || fail "new paths in /usr that no package owns after removal:
$stray"

echo "package check passed: $(basename "$deb") installed, checked the demo feeds, removed without a trace"
