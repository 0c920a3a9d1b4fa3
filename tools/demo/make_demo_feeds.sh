#!/usr/bin/env bash
# Writes the demo's four newsletter channels into FOLDER: riverside.xml, garden.xml, kitchen.xml
# and nightsky.xml. Items are dated relative to now so that they look fresh. PHASE "first" leaves
# out the newest items, which "all" adds: the demo stores the first set before the reader starts
# and lets the newest arrive with the reader's own check.
#
#   make_demo_feeds.sh FOLDER first|all
set -euo pipefail
out=${1:?usage: make_demo_feeds.sh FOLDER first|all}
phase=${2:?usage: make_demo_feeds.sh FOLDER first|all}
case "$phase" in first|all) ;; *) echo "make_demo_feeds.sh: PHASE is first or all" >&2; exit 2 ;; esac
now=$(date +%s)

# The channel being written: its list marker, sender and reply-to.
list='' sender='' address='' replyName='' replyAddress=''

channel() {  # title path description
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<rss version="2.0"><channel>\n'
  printf '<title>%s</title><link>http://news.quillpost.test/%s</link><description>%s</description>\n' "$1" "$2" "$3"
}

# item AGE_MINUTES NEW GUID TITLE, the body as HTML on standard input. NEW items ("new") appear
# only in the "all" phase.
item() {
  local body
  body=$(cat)
  [ "$2" = new ] && [ "$phase" = first ] && return 0
  local date
  date=$(LC_ALL=C date -u -d "@$((now - $1 * 60))" '+%a, %d %b %Y %H:%M:%S GMT')
  printf '<item><title>%s</title><guid isPermaLink="false">%s</guid><pubDate>%s</pubDate>\n' "$4" "$3" "$date"
  printf '<description><![CDATA[<!-- header start: <p>From: &quot;%s&quot; &lt;%s&gt;</p><p>Subject: %s</p><p>Date: %s</p><p>Reply-To: &quot;%s&quot; &lt;%s&gt;</p>header end -->{list:%s}<div class="letter">\n%s\n</div>]]></description></item>\n' \
    "$sender" "$address" "$4" "$date" "$replyName" "$replyAddress" "$list" "$body"
}

end_channel() { printf '</channel></rss>\n'; }

# Each file is written beside its final name and renamed over it, so the server never hands out
# half a feed.
write() {  # name function
  "$2" > "$out/.$1.part"
  mv -f "$out/.$1.part" "$out/$1"
}

riverside() {
  list=riverside sender="Riverside Weekly" address="editor@news.quillpost.test"
  replyName="Letters to the Editor" replyAddress="letters@news.quillpost.test"
  channel "Riverside Weekly" riverside "News from the town by the river"
  item 7300 old riverside-bridge "Bridge repairs start on Monday" <<'HTML'
<h2>The old bridge closes for four weeks</h2>
<p>From Monday the stone bridge on Mill Street is closed to cars while the council replaces its
railings and resurfaces the deck. Pedestrians and bicycles keep one lane.</p>
<ul><li>Buses 4 and 7 take the ring road and stop at the station instead.</li>
<li>The Saturday market moves to the church square for the duration.</li>
<li>Works run from 7 am to 6 pm on weekdays.</li></ul>
<p>Questions go to the works office, open every morning in the town hall.</p>
HTML
  item 4100 old riverside-market "Winter market: forty stalls and a choir" <<'HTML'
<h2>The winter market opens on Friday</h2>
<p>Forty stalls line the quay this year, twelve of them new: candles from the old dairy, wooden
toys, honey from the hills and, of course, hot cider.</p>
<p>The town choir sings carols on the steps of the library at six on Saturday evening. Bring a
lantern if you have one; the organisers hand out the rest.</p>
HTML
  item 130 new riverside-library "Library opens late on weekdays from January" <<'HTML'
<h2>Open until nine</h2>
<p>After a year of requests the library will stay open until 9 pm from Monday to Thursday,
starting in the second week of January. The reading room gets new lamps and twenty more seats.</p>
<p>Volunteers for the evening desk are welcome: <a href="mailto:library@news.quillpost.test">write to the librarian</a>.</p>
HTML
  item 25 new riverside-snow "Snow plan: which streets are cleared first" <<'HTML'
<h2>Snow expected tonight</h2>
<p>The gritting lorries leave the depot at 4 am. They clear the hospital road, the bus routes and
the school lanes first, then the residential streets in alphabetical order.</p>
<p><strong>Please park off the road</strong> where you can, so the ploughs get through.</p>
HTML
  end_channel
}

garden() {
  list=garden-letter sender="Ann Holloway" address="ann@news.quillpost.test"
  replyName="Ann Holloway" replyAddress="ann@news.quillpost.test"
  channel "The Garden Letter" garden "A weekly letter for gardeners"
  item 8700 old garden-mulch "Mulch before the first frost" <<'HTML'
<h2>Tuck the beds in</h2>
<p>A thick layer of leaf mould or bark keeps the roots warm and the soil alive through the winter.
Spread it after a good rain, five to eight centimetres deep, and keep it off the stems.</p>
HTML
  item 5800 old garden-bulbs "Bulbs for a spring surprise" <<'HTML'
<h2>It is not too late for tulips</h2>
<p>Tulips actually prefer cold soil: plant them now, at three times their own depth, pointed end
up. Crocuses go under the lawn, where they flower before the first mowing.</p>
<table border="1" cellpadding="4"><tr><th>Bulb</th><th>Depth</th><th>Flowers</th></tr>
<tr><td>Tulip</td><td>15 cm</td><td>April to May</td></tr>
<tr><td>Crocus</td><td>8 cm</td><td>February to March</td></tr>
<tr><td>Allium</td><td>20 cm</td><td>June</td></tr></table>
HTML
  item 190 new garden-seeds "Seed swap season is here" <<'HTML'
<h2>Bring what you saved, take what you need</h2>
<p>The seed swaps are back. Label your envelopes with the variety and the year; beans, tomatoes
and sweet peas are always in demand.</p>
<ul><li>Saturday, 10 am: the library hall</li><li>Sunday, 11 am: the market hall</li></ul>
<p>Happy sowing,<br>Ann</p>
HTML
  end_channel
}

kitchen() {
  list=kitchen-notes sender="Kitchen Notes" address="cook@news.quillpost.test"
  replyName="Kitchen Notes" replyAddress="recipes@news.quillpost.test"
  channel "Kitchen Notes" kitchen "Recipes for every week"
  item 2900 old kitchen-soup "A soup for a cold week" <<'HTML'
<h2>Leek and potato soup</h2>
<ol><li>Soften three sliced leeks in butter for ten minutes.</li>
<li>Add four diced potatoes and a litre of stock; simmer for twenty minutes.</li>
<li>Blend half of it, stir it back, season well.</li></ol>
<p>It keeps for three days and tastes better on the second.</p>
HTML
  item 50 new kitchen-bread "Bread without kneading" <<'HTML'
<h2>Mix in the evening, bake in the morning</h2>
<p>500 g flour, 400 ml water, 10 g salt and a pinch of yeast. Stir, cover, forget it overnight.
In the morning fold it twice, let it rest an hour and bake it in a hot covered pot for 45 minutes.</p>
HTML
  item 10 new kitchen-tomato "Three sauces from one jar of tomatoes" <<'HTML'
<h2>One jar, three dinners</h2>
<p>Start with a jar of good tomatoes and a slow-cooked onion, then go three ways:</p>
<ul><li><em>Arrabbiata</em>: garlic and chilli.</li><li><em>Puttanesca</em>: olives, capers and anchovies.</li>
<li><em>Shakshuka</em>: cumin, peppers and eggs poached in the sauce.</li></ul>
HTML
  end_channel
}

nightsky() {
  list=night-sky sender="Night Sky Bulletin" address="observatory@news.quillpost.test"
  replyName="Night Sky Bulletin" replyAddress="observatory@news.quillpost.test"
  channel "Night Sky Bulletin" nightsky "What to look for after dark"
  item 1500 old nightsky-geminids "The Geminids peak this week" <<'HTML'
<h2>Up to a hundred meteors an hour</h2>
<p>The best meteor shower of the year peaks on Sunday night. Find a dark spot, let your eyes adjust
for twenty minutes and look north-east after ten o'clock.</p>
HTML
  item 240 new nightsky-jupiter "Jupiter and the Moon side by side" <<'HTML'
<h2>A close pair on Thursday</h2>
<p>Look south-east an hour after sunset: the bright point beside the Moon is Jupiter. Binoculars
show up to four of its moons in a line.</p>
HTML
  end_channel
}

mkdir -p "$out"
write riverside.xml riverside
write garden.xml garden
write kitchen.xml kitchen
write nightsky.xml nightsky
