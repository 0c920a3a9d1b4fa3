#!/usr/bin/env bash
# Writes three small newsletter feeds (town.xml, garden.xml, kitchen.xml) into the given folder. Their
# descriptions carry the header block the message view reads: sender, subject, date, reply-to.
set -euo pipefail
out=${1:?usage: make_sample_feeds.sh FOLDER}

item() {  # guid title day sender address subject body
  cat <<ITEM
<item><title>$2</title><guid isPermaLink="false">$1</guid><pubDate>$3 09:18:46 GMT</pubDate>
<description><![CDATA[<!-- header start: <p>From: &quot;$4&quot; &lt;$5&gt;</p><p>Subject: $6</p><p>Date: $3 09:18:46 GMT</p><p>Reply-To: &quot;$4&quot; &lt;$5&gt;</p>header end -->{letter}<h2>$2</h2>$7]]></description></item>
ITEM
}

{
  echo '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Town Weekly</title><link>http://news.quillpost.test/town</link><description>Local news</description>'
  item town-1 "Bridge repairs start Monday" "Thu, 03 Dec 2026" "Town Desk" "desk@news.quillpost.test" "Bridge repairs" "<p>The old bridge closes for four weeks. Buses take the ring road.</p>"
  item town-2 "Winter market opens" "Fri, 04 Dec 2026" "Town Desk" "desk@news.quillpost.test" "Winter market" "<p>Forty stalls, hot cider and a choir on Saturday evening.</p>"
  item town-3 "Library extends its hours" "Sat, 05 Dec 2026" "Town Desk" "desk@news.quillpost.test" "Library hours" "<p>Open until nine on weekdays from January.</p>"
  echo '</channel></rss>'
} > "$out/town.xml"

{
  echo '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Garden Letter</title><link>http://news.quillpost.test/garden</link><description>For gardeners</description>'
  item garden-1 "Mulch before the frost" "Tue, 01 Dec 2026" "Ann Gardener" "ann@news.quillpost.test" "Mulch" "<p>A thick layer keeps the roots warm.</p>"
  item garden-2 "Bulbs for a spring surprise" "Wed, 02 Dec 2026" "Ann Gardener" "ann@news.quillpost.test" "Bulbs" "<p>Plant tulips now, at three times their depth.</p>"
  item garden-3 "Seed swap season" "Sat, 05 Dec 2026" "Ann Gardener" "ann@news.quillpost.test" "Seed swaps" "<p>Seed swap season is here: bring what you saved, take what you need.</p><ul><li>Saturday at the library</li><li>Sunday at the market hall</li></ul>"
  echo '</channel></rss>'
} > "$out/garden.xml"

{
  echo '<?xml version="1.0" encoding="UTF-8"?><rss version="2.0"><channel><title>Kitchen Notes</title><link>http://news.quillpost.test/kitchen</link><description>Recipes</description>'
  item kitchen-1 "Soup for a cold week" "Fri, 04 Dec 2026" "Cook" "cook@news.quillpost.test" "Soup" "<p>Leeks, potatoes and a good stock.</p>"
  item kitchen-2 "Bread without kneading" "Sat, 05 Dec 2026" "Cook" "cook@news.quillpost.test" "Bread" "<p>Mix in the evening, bake in the morning.</p>"
  echo '</channel></rss>'
} > "$out/kitchen.xml"
