#!/usr/bin/env bash
# Writes the demo's subscription file into the data folder DATA ("Quillpost Data"): the three
# channels of make_demo_feeds.sh other than the Night Sky Bulletin, served on 127.0.0.1:PORT.
# The service host name travels in the query, which the feed server ignores.
#
#   write_subscriptions.sh DATA PORT
set -euo pipefail
data=${1:?usage: write_subscriptions.sh DATA PORT}
port=${2:?usage: write_subscriptions.sh DATA PORT}
mkdir -p "$data"
{
  printf '<?xml version="1.0" encoding="UTF-8"?>\r\n<sources>\r\n'
  for source in "riverside:Riverside Weekly" "garden:The Garden Letter" "kitchen:Kitchen Notes"; do
    id=$(tr a-f A-F < /proc/sys/kernel/random/uuid)
    printf '<source id="%s" title="%s">http://127.0.0.1:%s/%s.xml?list=news.quillpost.test</source>\r\n' \
      "$id" "${source#*:}" "$port" "${source%%:*}"
  done
  printf '</sources>\r\n'
} > "$data/subscriptions.dat"
