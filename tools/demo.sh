#!/usr/bin/env bash
# Starts Quillpost on a demo: a feed server on 127.0.0.1 with four sample newsletter channels and
# a data folder of its own, subscribed to three of them. A few messages are already stored; the
# newest arrive with the first "Check All Sources". Builds first when needed. Nothing of the
# user's own data, settings or running copy is touched: the program is installed into the demo's
# temporary folder and runs there, which goes when the program exits.
#
#   bash tools/demo.sh          (BUILD_DIR picks the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/install-deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQP_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillpost qp_feed_server

demo=$(mktemp -d "${TMPDIR:-/tmp}/quillpost-demo.XXXXXX")
server=''
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$demo"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cmake --install "$build" --prefix "$demo/app" >/dev/null
program="$demo/app/bin/quillpost"

bash tools/demo/make_demo_feeds.sh "$demo/feeds" first
"$build/qp_feed_server" --dir "$demo/feeds" > "$demo/port" &
server=$!
for _ in $(seq 100); do [ -s "$demo/port" ] && break; sleep 0.05; done
[ -s "$demo/port" ] || { echo "demo: the feed server did not start" >&2; exit 1; }
port=$(cat "$demo/port")

# The demo's own data, settings, caches and instance lock. A display or bus found through the
# user's runtime folder stays reachable by its full path.
mkdir -p -m 700 "$demo/run" "$demo/config"
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  case "${WAYLAND_DISPLAY:-}" in ''|/*) ;; *) export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ;; esac
  if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ -S "$XDG_RUNTIME_DIR/bus" ]; then
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
  fi
fi
export XDG_DATA_HOME="$demo/data" XDG_CONFIG_HOME="$demo/config" XDG_RUNTIME_DIR="$demo/run" \
  XDG_CACHE_HOME="$demo/cache"
bash tools/demo/write_subscriptions.sh "$demo/data/Quillpost Data" "$port"

echo "Storing the first messages..."
if ! "$program" --check > "$demo/first-check.txt"; then
  echo "demo: the first check failed; the reader starts anyway" >&2
fi
bash tools/demo/make_demo_feeds.sh "$demo/feeds" all

cat <<TEXT

Quillpost demo: three channels are subscribed and hold a few messages; five new ones wait on
the feed server. In the main window:
  - Message Sources > Check All Sources for New Messages (Ctrl+F5): the busy window works
    through the three sources, then a notice tells how many new messages each one brought;
  - unfold a source in the tree and open a message (double-click or Enter) to read it;
  - subscribe to a fourth channel with Message Sources > Subscribe to New Source (Ctrl+N):
    title "Night Sky Bulletin", source link
        http://127.0.0.1:$port/nightsky.xml?list=news.quillpost.test
    (or drop that link on the drop box, Tools > Quillpost DropBox, F9), then check again.
Close the main window (minimised into the notification area: Exit in its icon's menu) to end
the demo; its data in $demo goes with it.

TEXT
"$program" "$@" || true
