#!/usr/bin/env bash
# The archive at scale: for each size it writes a data folder of SOURCES sources with MESSAGES
# messages each (qp_make_archive, ~1.4 KB a message, known words), then prints
#   - from qp_archive_bench: the first index built, a start on the unchanged archive (messages
#     indexed: 0), its size against the inbox files, the queries (a rare word, a common word's
#     first page, a phrase with a source and an unread filter, words only in link addresses or
#     hidden text), one-word queries typed a key at a time (key to first page on the index's
#     query thread), a check storing 5,000 messages with and without the index, and the whole
#     `quillpost --search` process against `quillpost --version` and `grep -rilF` over the same
#     folder, alternating (with BASELINE_BUILD, that build's --search in the same rounds);
#   - from start_archive.sh, the real program under Xvfb: start to the filled window, resident
#     memory before any message opens, unfolding a source, and the first start after a restore
#     (no caches: the counts and the index are made in the background while a source unfolds).
# Every figure is a median of ROUNDS runs (5); nothing is asserted. Without arguments it runs at
# 100,000 messages (50 x 2,000) and at 1,000,000 (500 x 2,000); the data folders are written
# under QP_ARCHIVE_DIR (default: a temporary folder), and removed after their figures.
#
#   bash bench/archive.sh [SOURCES] [MESSAGES]        (QP_BUILD: the build folder, default build;
#                                                      BASELINE_BUILD: a build to compare with)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${QP_BUILD:-$here/../build}" && pwd)
rounds=${ROUNDS:-5}
for target in quillpost bench/qp_make_archive bench/qp_archive_bench; do
  [ -x "$build/$target" ] || { echo "$build/$target is missing: cmake --build $build" >&2; exit 2; }
done
if [ -n "${QP_ARCHIVE_DIR:-}" ]; then
  top=$QP_ARCHIVE_DIR && mkdir -p "$top"
else
  top=$(mktemp -d) && trap 'rm -rf "$top"' EXIT
fi

sizes=("${1:-50} ${2:-2000}")
[ $# -gt 0 ] || sizes=("50 2000" "500 2000")
for size in "${sizes[@]}"; do
  read -r sources messages <<< "$size"
  home="$top/$sources-$messages"
  data="$home/Quillpost Data"
  echo "== $sources sources x $messages messages = $((sources * messages)) messages"
  rm -rf "$home" && mkdir -p "$data"
  "$build/bench/qp_make_archive" "$data" "$sources" "$messages" 1 >/dev/null
  echo "inbox files: $(du -sh --apparent-size "$data" | cut -f1)"
  # The program's own index for this data folder (the process figure needs it).
  cache="$home/cache" && rm -rf "$cache" && mkdir -p "$cache"
  sync
  cat "$data"/*/inbox.dat > /dev/null  # page cache warm, as the figures are asked for
  # The window first: the check figure below adds messages to the data folder.
  bash "$here/start_archive.sh" "$build" "$data" "$rounds" ${BASELINE_BUILD:+"$BASELINE_BUILD"}
  XDG_DATA_HOME="$home" XDG_CACHE_HOME="$cache" XDG_CONFIG_HOME="$home/config" \
    "$build/bench/qp_archive_bench" --program "$build/quillpost" --runs "$rounds" \
    ${BASELINE_BUILD:+--baseline "$BASELINE_BUILD/quillpost"} "$data"
  # It now holds the check's messages too: written afresh by the next run.
  rm -rf "$home"
done
