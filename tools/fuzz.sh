#!/usr/bin/env bash
# Builds the libFuzzer targets of the logic library with clang (folder build-fuzz) and runs each
# for SECONDS (default 30), up to one per core at a time. Working corpora grow in
# build-fuzz/corpus/<target>, findings go to build-fuzz/artifacts/, logs to build-fuzz/logs/.
# Exits non-zero when a target finds a crash, a leak or a timeout.
# FUZZ_TARGETS="IniReader PubDate" runs only those; FUZZ_JOBS sets how many run at once.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
build=build-fuzz
all_targets=(IniReader FeedParser MessageHeader PubDate Subscriptions Query)
read -r -a targets <<<"${FUZZ_TARGETS:-${all_targets[*]}}"
jobs="${FUZZ_JOBS:-$(nproc)}"
for t in "${targets[@]}"; do
  if [[ ! " ${all_targets[*]} " == *" $t "* ]]; then
    echo "unknown fuzz target $t (known: ${all_targets[*]})" >&2
    exit 2
  fi
done

bash tools/install-deps.sh clang libclang-rt-14-dev cmake libpugixml-dev

# Light optimisation and line tables only: the build stays quick and reports still name lines.
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE= \
  -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
  -DQP_BUILD_GUI=OFF -DQP_BUILD_TESTS=OFF -DQP_BUILD_BENCH=OFF -DQP_BUILD_FUZZ=ON >/dev/null
nice cmake --build "$build" -j"$(nproc)" --target fuzz_targets >/dev/null

# Seeds made from the feed corpus and the test fixtures, beside the hand-written ones
# in fuzz/seeds/<target>.
corpus_dir=tests/fixtures/corpus
generated="$build/seeds"
rm -rf "$generated"
mkdir -p "$generated"/{IniReader,FeedParser,MessageHeader,PubDate,Subscriptions,Query}
cp tests/fixtures/feeds/*.xml "$generated/FeedParser/"
cp tests/fixtures/messages/* "$generated/MessageHeader/"
if [ -d "$corpus_dir" ]; then
  find "$corpus_dir" -name '*.xml' -print0 | while IFS= read -r -d '' f; do
    cp "$f" "$generated/FeedParser/$(sha1sum "$f" | cut -c1-16).xml"
  done
  # Every publication date of the corpus as its own input.
  { grep -rhoa --include='*.xml' '<pubDate>[^<]*</pubDate>' "$corpus_dir" || true; } |
    sed 's/<[^>]*>//g' | sort -u | while IFS= read -r date; do
      printf '%s' "$date" >"$generated/PubDate/$(printf '%s' "$date" | sha1sum | cut -c1-16)"
    done
fi

dict_of() {
  case "$1" in
    IniReader) echo fuzz/ini.dict ;;
    MessageHeader) echo fuzz/message.dict ;;
    PubDate) echo fuzz/pubdate.dict ;;
    Query) echo fuzz/query.dict ;;
    *) echo fuzz/xml.dict ;;
  esac
}

mkdir -p "$build/artifacts" "$build/logs"
run_one() {
  local t="$1"
  mkdir -p "$build/corpus/$t"
  local seeds=("$generated/$t")
  [ -d "fuzz/seeds/$t" ] && seeds+=("fuzz/seeds/$t")
  # The outer limit only guards against a fuzzer that stops answering.
  timeout --kill-after=30 $((seconds + 300)) nice "$build/fuzz/fuzz_$t" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -dict="$(dict_of "$t")" -artifact_prefix="$build/artifacts/$t-" \
    "$build/corpus/$t" "${seeds[@]}" >"$build/logs/$t.log" 2>&1
}

pids=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$t" &
  pids+=("$!")
done

failed=0
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  status=0
  wait "${pids[$i]}" || status=$?
  log="$build/logs/$t.log"
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || true)
  cov=$(grep -oE '^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 |
        sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+)/cov \1, ft \2/' || true)
  if [ "$status" -eq 0 ]; then
    printf '%-14s ok       %10s executions  %s\n' "$t" "${execs:-?}" "${cov:-}"
  else
    failed=1
    finding=$(grep -m1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|broken guarantee:' "$log" || echo "exit status $status")
    printf '%-14s FINDING  %10s executions  %s\n' "$t" "${execs:-?}" "${cov:-}"
    printf '    %s\n' "$finding"
    grep -o 'Test unit written to .*' "$log" | sed 's/^/    /' || true
    echo "    log: $log"
  fi
done
exit "$failed"
