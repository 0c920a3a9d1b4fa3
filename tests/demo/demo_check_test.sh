#!/usr/bin/env bash
# The demo's channels and subscription file work with the real program, installed as the demo
# installs it: a headless check of the first set stores the older messages, a check of the full set
# brings exactly the newest ones, and the channel left for the user to subscribe parses too.
#
#   demo_check_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: demo_check_test.sh BUILD_DIR}" && pwd)
tools=$(cd "$(dirname "$0")/../../tools/demo" && pwd)

work=$(mktemp -d)
server=''
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
[ -s "$work/port" ] || fail "the feed server did not start"
port=$(cat "$work/port")

data="$work/data/Quillpost Data"
bash "$tools/write_subscriptions.sh" "$data" "$port"
mkdir -m 700 "$work/run"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"

check() {  # expected summary
  local status=0
  "$work/app/bin/quillpost" --check > "$work/out" 2> "$work/err" || status=$?
  [ "$status" -eq 0 ] || fail "check exited with $status: $(cat "$work/err")"
  [ "$(cat "$work/out")" = "$1" ] || fail "unexpected summary (errors: $(cat "$work/err")):
$(cat "$work/out")"
}

check "You have 2 New Messages 
 in Riverside Weekly account.

You have 2 New Messages 
 in The Garden Letter account.

You have 1 New Messages 
 in Kitchen Notes account."

bash "$tools/make_demo_feeds.sh" "$work/feeds" all
check "You have 2 New Messages 
 in Riverside Weekly account.

You have 1 New Messages 
 in The Garden Letter account.

You have 2 New Messages 
 in Kitchen Notes account."

# The fourth channel, as the user would subscribe to it.
sed -i "s|</sources>|<source id=\"0B5E7A11-5CA7-4E55-9A11-D0C0FFEE0004\" title=\"Night Sky Bulletin\">http://127.0.0.1:$port/nightsky.xml?list=news.quillpost.test</source>\r\n</sources>|" "$data/subscriptions.dat"
check "You have 2 New Messages 
 in Night Sky Bulletin account."
[ "$(grep -c '^\[' "$data/0B5E7A11-5CA7-4E55-9A11-D0C0FFEE0004/inbox.dat")" -eq 2 ] || fail "Night Sky Bulletin should hold 2 messages"
echo "demo check passed"
