#pragma once
// Parsing a downloaded RSS 2.0 feed into the current source's inbox.

#include <cstdint>
#include <string>
#include <string_view>

namespace mInbox {

// Messages stored by the last ParseFeed.
inline std::int16_t NewMessageCount = 0;
// One paragraph per source that brought new messages. ParseFeed only appends; the check run
// empties it when a run begins.
inline std::string RunSummary;

struct PubDateParts {
  std::string date;  // Sat, 05 Dec 2026
  std::string time;  // 09:18:46
  std::string zone;  // GMT, +0000
  bool operator==(const PubDateParts&) const = default;
};

// Cuts a publication date such as "Sat, 05 Dec 2026 09:18:46 GMT" before the time (the word
// holding the first ":") and after it. Without a zone, the zone reads as the time, as stored
// messages always had it. A text without ":" is all date, with empty time and zone.
PubDateParts SplitPubDate(std::string_view text);

// Reads the items of the first "channel" under an "rss" element and stores those whose guid the
// current source's inbox (SourceID) does not hold yet, in feed order; sets NewMessageCount and
// appends a paragraph to RunSummary when any were stored. An item starts empty (nothing carries
// over from the item before) and one without a guid is not stored. False exactly when the feed
// could not be read (blank, not XML, or no channel) or its new items could not be stored; a
// message box has then said so.
bool ParseFeed(const std::string& feedText, const std::string& sourceTitle);

}  // namespace mInbox
