#pragma once
// A downloaded RSS 2.0 feed: reading its items (ReadFeed, no files, no boxes) and storing the new
// ones into the current source's inbox with what the user is told (ParseFeed).

#include "inbox/SourceState.h"
#include "inbox/mInbox.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// NotStored: the feed was read, but its new messages could not be stored.
enum class FeedFailure { None, Blank, NotXml, NoChannel, NotStored };

struct FeedContent {
  FeedFailure failure = FeedFailure::None;
  // The items of the first "channel" under an "rss" element, in feed order, each read on its
  // own (nothing carries over from the item before). Descriptions are in the stored form: no
  // line feed (character 5 stands for one), brackets as parentheses. Items without a guid are
  // listed too, with an empty guid.
  std::vector<InboxItem> items;
};

// Reads a feed's text. Blank text, text that is not XML and XML without a channel under "rss"
// give their failure and no items.
FeedContent ReadFeed(std::string_view feedText);

// Reads the feed and stores the items whose guid the current source's inbox (SourceID) does not
// hold yet, in feed order; sets NewMessageCount and appends a paragraph to RunSummary when any
// were stored. An item without a guid is not stored. False exactly when the feed could not be
// read or its new items could not be stored; a message box has then said so.
bool ParseFeed(const std::string& feedText, const std::string& sourceTitle);

// ParseFeed's work without a box: the failure is returned. The text is taken, and let go as soon
// as it is parsed. Messages the user deleted are not stored again while the feed carries their
// guids, and forgotten only once full answers have lacked them for a while
// (SourceState::UpdateDeletions). Once the new messages are stored, the answer's validators that
// can be trusted (SourceState::ValidatorsToRecord, the clock standing in for a missing Date) are
// recorded with what the inbox now holds; a failure leaves the old ones as they were.
FeedFailure StoreFeed(std::string feedText, const std::string& sourceTitle,
                      const SourceState::Answer& answer = {});

// Shows the box of a failure, as ParseFeed does; a detail, when given, follows on a line of its
// own.
void ShowFeedFailure(FeedFailure failure, const std::string& sourceTitle,
                     const std::string& detail = {});

// A failure in a few words, for a line that names the source.
std::string FailureReason(FeedFailure failure);

}  // namespace mInbox
