#!/usr/bin/env bash
# End-to-end: reading from the keyboard alone, never a click. Return opens a message and the page
# takes the keyboard (Page Down scrolls it); N twenty times in a row from the page reads on through
# twenty unread messages across sources; Escape from a page opened from a search's list goes back
# to that list with the message selected, so Down and Return open the next match. Screenshots go
# to QP_SCREENSHOT_DIR when it is set.
#
#   xvfb-run -a -s "-screen 0 1280x800x24" bash tests/e2e/keyboard_e2e.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: keyboard_e2e.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/e2e_common.sh"

# letters NAME TITLE, then lines GUID|DAY|TITLE|BODY.
letters() {
  while IFS='|' read -r guid day title body; do
    item "$guid" "$title" "$day" "Desk" desk@news.quillpost.test "$title" "$day 09:18:46 GMT" "<h2>$title</h2>$body"
  done | feed "$1" "$2"
}
long=$(for i in $(seq 80); do printf '<p>Paragraph %d of a long letter.</p>' "$i"; done)
for i in $(seq 12); do echo "alpha-$i|Sat, $(printf %02d "$i") Dec 2026|Alpha letter $i|$long"; done | letters alpha "Alpha Post"
for i in $(seq 12); do
  word=$([ "$i" -le 3 ] && echo kale || echo leek)
  echo "beta-$i|Sun, $(printf %02d "$i") Nov 2026|Beta letter $i|<p>A $word soup, number $i.</p>"
done | letters beta "Beta Post"

start_feed_server
subscribe "Alpha Post|$base/alpha.xml" "Beta Post|$base/beta.xml"
alpha=${ids[0]} beta=${ids[1]}
start_program
check_all "$alpha=12" "$beta=12"
is_read() { grep -A8 "^\[$2\]" "$data/$1/inbox.dat" | grep -q '^read=1'; }
read_count() { cat "$data/$alpha/inbox.dat" "$data/$beta/inbox.dat" | grep -c '^read=1' || true; }
reads() { [ "$(read_count)" = "$1" ]; }
page_shot() { import -window "$wid" -crop 600x300+330+150 +repage "$work/$1.png"; }

# The tree shows Alpha Post first; its newest letter is alpha-12. Return gives the page the keys.
key Home Right Down Return
wait_for 150 is_read "$alpha" alpha-12 || fail "Return did not open the message"
sleep 3  # the web view renders
page_shot before
key Next
sleep 1
page_shot after
[ "$(compare -metric AE "$work/before.png" "$work/after.png" null: 2>&1 || true)" != 0 ] ||
  fail "Page Down did not scroll the page opened with Return"

# N twenty times in a row from the page: the rest of Alpha Post, then Beta Post from its newest.
for n in $(seq 20); do
  key n
  wait_for 100 reads $((1 + n)) || fail "N number $n from the page read nothing (read: $(read_count))"
done
shot keyboard-after-twenty
for i in $(seq 12); do is_read "$alpha" "alpha-$i" || fail "alpha-$i was not read on to"; done
for i in $(seq 4 12); do is_read "$beta" "beta-$i" || fail "beta-$i was not read on to"; done
! is_read "$beta" beta-3 || fail "N read one message too many"

# Escape from a search result goes back to its list: Down and Return open the next match.
key ctrl+f
xdotool type --delay 30 "kale"
sleep 1.5
key Return Return
wait_for 150 is_read "$beta" beta-3 || fail "Return did not open the search result"
sleep 1
key Escape
sleep 0.5
key Down Return
wait_for 150 is_read "$beta" beta-2 || fail "Escape did not lead back to the list with the message selected"
sleep 2
shot keyboard-search-result
! is_read "$beta" beta-1 || fail "a message was read that nobody opened"
# Back in the list, Escape there gives the tree back; N reads on from it.
key Escape Escape
sleep 0.5
key n
wait_for 100 is_read "$beta" beta-1 || fail "N did not read on once the search was cleared"
expect_quiet_end
echo "keyboard end-to-end passed"
