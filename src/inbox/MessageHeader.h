#pragma once
// The header block the service puts in front of a message's description (sender, subject, date,
// reply-to), split from the body. The page, the exports and the search index read it.

#include "inbox/mInbox.h"

#include <string>
#include <string_view>

namespace mInbox {

// The fields split from a description. No field is trimmed.
struct MessageHeader {
  std::string FromName;
  std::string FromEmail;  // or the whole sender value when it has no "<"
  std::string Subject;
  std::string Date;
  std::string ReplyToName;
  std::string ReplyToEmail;  // or the whole reply-to value when it has no "<"
  std::string Body;          // the description after the header block
  bool operator==(const MessageHeader&) const = default;
};

// Splits the header block, marked by "header start:" and "header end -->", from the body.
// Any text is accepted: without the block's markers every header field is empty, a field whose
// name is missing is empty, a field whose following field name is missing runs to the end of
// the block, and a description without "header end -->" is all body.
MessageHeader ParseMessageHeader(std::string_view description);

// The fields a stored message is shown and exported with: ParseMessageHeader of its description,
// except that a description without the header block takes the item's title as its subject and
// the item's date (date, time and zone) as its date.
MessageHeader HeaderOf(const InboxItem& item);

}  // namespace mInbox
