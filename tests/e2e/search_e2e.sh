#!/usr/bin/env bash
# End-to-end: searching the archive in the real program. Ctrl+F and a word list the matching
# messages; Return opens one (marked read); Escape gives the tree back with its selection; a search
# saved with "Mark as Read" marks a new message of a check as it arrives; `--search` beside the
# running reader finds what it finds. Screenshots go to QP_SCREENSHOT_DIR when it is set.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/search_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: search_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"

# letters NAME TITLE, then lines GUID|DAY|TITLE|BODY.
letters() {
  while IFS='|' read -r guid day title body; do
    item "$guid" "$title" "$day" "Desk" desk@news.quillpost.test "$title" "$day 09:18:46 GMT" "<h2>$title</h2>$body"
  done | feed "$1" "$2"
}
kitchen_letters() {
  letters kitchen "Kitchen Notes" <<END
kitchen-1|Thu, 03 Dec 2026|Bread without kneading|<p>Mix in the evening, bake in the morning.</p>
kitchen-2|Fri, 04 Dec 2026|Morning coffee|<p>A Caf&eacute; Cr&egrave;me and a croissant at dawn.</p>
kitchen-3|Sat, 05 Dec 2026|Leek soup|<p>A soup for cold evenings.</p>
${1:-}
END
}
kitchen_letters
letters garden "Garden Letter" <<'END'
garden-1|Tue, 01 Dec 2026|Mulch before the frost|<p>A thick layer keeps the roots warm.</p>
garden-2|Wed, 02 Dec 2026|Soup from the garden|<p>Pumpkins make a good soup.</p>
END

start_feed_server
subscribe "Kitchen Notes|$base/kitchen.xml" "Garden Letter|$base/garden.xml"
kitchen=${ids[0]} garden=${ids[1]}
start_program
check_all "$kitchen=3" "$garden=2"
is_read() { grep -A8 "^\[$2\]" "$data/$1/inbox.dat" | grep -q '^read=1'; }

# The tree's first source (Garden Letter) selected before searching.
key Home
key ctrl+f
xdotool type --delay 30 "creme"
sleep 1.5
shot search-results
# Return goes from the field to the list, Return there opens the message.
key Return Return
wait_for 150 is_read "$kitchen" kitchen-2 || fail "the message found was not opened and marked read"
grep -q 'croissant at dawn' "$data/item.htm" || fail "the page is not the message found"

# Escape clears the search; the tree comes back with Garden Letter selected: its newest message
# opens from there.
focus_main
key ctrl+f
key Escape
key Right Down Return
wait_for 150 is_read "$garden" garden-2 || fail "the tree did not come back as it was"
! is_read "$kitchen" kitchen-3 || fail "a message was marked read that nobody opened"

# "Save Search" with the rule "Mark as Read": a new soup of the next check arrives read.
focus_main
key ctrl+f
xdotool type --delay 30 "soup"
sleep 1
key Tab space
dialog=$(window_named 20 '^Save Search$' | head -1) || fail "no Save Search dialog"
xdotool windowfocus --sync "$dialog"; sleep 0.3
xdotool type --delay 20 "Soups"
key Tab Tab Down Return
wait_for 50 grep -q '^rule=mark read' "$data/searches.dat" || fail "the saved search was not kept: $(cat "$data/searches.dat" 2>&1)"
grep -q '^\[Soups\]' "$data/searches.dat" || fail "the saved search lost its name"
sleep 1
shot saved-searches
key Escape
kitchen_letters "kitchen-4|Sun, 06 Dec 2026|Pea soup tonight|<p>Green and thick.</p>"
check_all "$kitchen=4" "$garden=2"
is_read "$kitchen" kitchen-4 || fail "the rule did not mark the new soup read"
! is_read "$kitchen" kitchen-3 || fail "the rule reached a message stored before it"

# The command line beside the running reader shares its index.
found=$("$build/quillpost" --search 'soup -pea' 2>/dev/null) || fail "--search beside the reader found nothing"
[ "$found" = $'2026-12-05\tKitchen Notes\tLeek soup\n2026-12-02\tGarden Letter\tSoup from the garden' ] ||
  fail "--search printed: $found"
status=0; "$build/quillpost" --search zebracorn > /dev/null 2>&1 || status=$?
[ "$status" = 1 ] || fail "a search that finds nothing gave status $status"
expect_quiet_end
echo "search end-to-end passed"
