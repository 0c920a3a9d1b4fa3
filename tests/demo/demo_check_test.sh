#!/usr/bin/env bash
# The demo as the user gets it: the install holds the program and its files (and no tests), a
# headless check of the first set of channels stores the older messages, a check of the full set
# brings exactly the newest ones, and the channel left for the user to subscribe works too. The
# checks run as cron runs them, without a display; a failed source and the other switches (the
# OPML ones with their files) end with their exit status.
#
#   demo_check_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: demo_check_test.sh BUILD_DIR}" && pwd)
tools=$(cd "$(dirname "$0")/../../tools/demo" && pwd)
work=$(mktemp -d) server=''
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/app" > /dev/null
for f in lib/quillpost/quillpost lib/quillpost/quillpost_webview.so lib/quillpost/view.tpl \
    lib/quillpost/Help.html share/applications/quillpost.desktop \
    share/icons/hicolor/scalable/apps/quillpost.svg; do
  [ -s "$work/app/$f" ] || fail "the install lacks $f"
done
[ "$(readlink "$work/app/bin/quillpost")" = ../lib/quillpost/quillpost ] || fail "no link in bin"
[ -z "$(find "$work/app" -name '*test*' -o -name '*bench*')" ] || fail "tests were installed"

bash "$tools/make_demo_feeds.sh" "$work/feeds" first
"$build/qp_feed_server" --dir "$work/feeds" > "$work/port" &
server=$!
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port") || fail "the feed server did not start"
data="$work/data/Quillpost Data"
bash "$tools/write_subscriptions.sh" "$data" "$port"
mkdir -m 700 "$work/run"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  XDG_CACHE_HOME="$work/cache"
app="$work/app/bin/quillpost"
run() {
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app" "$@" > "$work/out" 2> "$work/err" ||
    status=$?
}
check() {  # the new messages the check must report, per channel: "count title" ...
  local expected=''
  run --check
  for line in "$@"; do
    expected+="You have ${line%% *} New Messages "$'\n'" in ${line#* } account."$'\n\n'
  done
  [ "$status" = 0 ] && [ "$(cat "$work/out")"$'\n\n' = "$expected" ] ||
    fail "status $status, summary (errors: $(cat "$work/err")):"$'\n'"$(cat "$work/out")"
}
check "2 Riverside Weekly" "2 The Garden Letter" "1 Kitchen Notes"
bash "$tools/make_demo_feeds.sh" "$work/feeds" all
check "2 Riverside Weekly" "1 The Garden Letter" "2 Kitchen Notes"
# The fourth channel, as the user would subscribe to it.
subscribe() {  # id title link
  sed -i "s|</sources>|<source id=\"$1\" title=\"$2\">$3</source>\r\n</sources>|" "$data/subscriptions.dat"
}
id=0B5E7A11-5CA7-4E55-9A11-D0C0FFEE0004
subscribe $id "Night Sky Bulletin" "http://127.0.0.1:$port/nightsky.xml?list=news.quillpost.test"
check "2 Night Sky Bulletin"
[ "$(grep -c '^\[' "$data/$id/inbox.dat")" = 2 ] || fail "Night Sky Bulletin should hold 2 messages"
# The OPML switches take their file; the sources move to an empty data folder, once.
run --export-opml "$work/sources.opml"
[ "$status" = 0 ] && [ "$(grep -c '<outline type="rss"' "$work/sources.opml")" = 4 ] || fail "--export-opml gave status $status"
for expected in 0 1; do
  XDG_DATA_HOME="$work/data2" run --import-opml "$work/sources.opml"
  [ "$status" = "$expected" ] || fail "--import-opml gave status $status, not $expected: $(cat "$work/err")"
done
[ "$(grep -c '<source ' "$work/data2/Quillpost Data/subscriptions.dat")" = 4 ] || fail "the import did not add the 4 sources once"
run --import-opml "$work/none.opml"
[ "$status" = 2 ] || fail "a missing OPML file gave status $status"
subscribe "${id%4}5" Gone http://127.0.0.1:9/gone.xml
run --check
failed=$'Error!\nProcess of checking for new Messages failed! Server returned empty Data stream.\nGone: connection refused'
[ "$status" = 1 ] && [ ! -s "$work/out" ] && [ "$(cat "$work/err")" = "$failed" ] ||
  fail "a failed source gave status $status: $(cat "$work/err")"
run --help
usage="Usage: quillpost [-s | --check | --export-opml FILE | --import-opml FILE | --help |"
[ "$status" = 0 ] && [ "$(head -1 "$work/out")" = "$usage" ] || fail "--help gave status $status"
run --no-such-switch
[ "$status" = 2 ] || fail "an unknown switch gave status $status"
echo "demo check passed"
