# Set-up shared by the end-to-end scripts (sourced after `build` is set): a work folder that goes
# at exit together with every process listed in pids, a failure report showing whichever logs
# the script keeps, and the loopback feed server.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  if [ -s "$work/requests.log" ]; then echo "requests:" >&2; cat "$work/requests.log" >&2; fi
  if [ -s "$work/boxes.log" ]; then echo "message boxes:" >&2; cat "$work/boxes.log" >&2; fi
  if [ -s "$work/opened.log" ]; then echo "handed to the desktop:" >&2; cat "$work/opened.log" >&2; fi
  if [ -s "$work/out.log" ]; then echo "program output:" >&2; tail -20 "$work/out.log" >&2; fi
  exit 1
}

# Serves the folder on 127.0.0.1 (further arguments go to the server) and sets port.
start_feed_server() {
  local folder=$1
  shift
  "$build/qp_feed_server" --dir "$folder" "$@" > "$work/port" &
  pids+=($!)
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  [ -s "$work/port" ] || fail "the feed server did not start"
  port=$(cat "$work/port")
}
