#pragma once
// What the search index takes from the inbox files: the messages of an inbox as the store reads
// them, with where each one's section lies in the file, a digest of what it says, the identity
// of the file's present version, and the order of messages as numbers. Reading one message's
// section by its offset is the inbox's own (inbox/InboxSections.h).

#include "inbox/mInbox.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Archive::InboxText {

// A message as the inbox file holds it (description in the stored form), where its section lies
// (at -1: not known) and a digest of its values (the read flag aside).
struct FileMessage {
  mInbox::InboxItem item;
  std::int64_t at = -1;
  std::int64_t size = 0;
  std::int64_t digest = 0;
  std::optional<std::string> text;  // IndexedText, when made ahead
};

// The messages of an inbox file in file order, as the store lists them (the first section of a
// name, the first value of a key); a missing file holds none. No value when it cannot be read.
std::optional<std::vector<FileMessage>> ReadInbox(const std::string& path);

// The inbox file of a source in the data folder; empty for an id that is no source id.
std::string InboxFile(const std::string& dataFolder, const std::string& sourceId);

// What is indexed of a stored message (its description in the stored form): the text a reader
// sees of the page (HtmlText's search form), after the header block's From and Subject.
std::string IndexedText(const mInbox::InboxItem& item);

// A stored item's values as the file gives them back: NULs dropped, line breaks as blanks, blanks
// around them trimmed. So a message stored now and one read from the file later digest alike.
mInbox::InboxItem FileForm(const mInbox::InboxItem& item);
std::int64_t Digest(const mInbox::InboxItem& fileForm);

// The identity of the file's present version: device, inode, size, modification and change
// times. Every rewrite through the atomic replace gives a new inode; a copy over the file, even
// one that keeps its size and modification time, a new change time. "none" for a missing file.
struct Stamp {
  std::string text;
  std::int64_t size = 0;
  bool operator==(const Stamp&) const = default;
};
Stamp StampOf(const std::string& path);

// An inbox as it was at one moment: read whole, and the same version of the file before and after.
struct Inbox {
  Stamp stamp;
  std::vector<FileMessage> messages;
};
// Nothing when the file changed while it was read. An inbox that cannot be read lists nothing,
// in the tree as here. withTexts: each message's IndexedText is made too.
std::optional<Inbox> ReadStable(const std::string& path, bool withTexts);

// Message ids in the order the tree shows messages: by day, then time in UTC (unknown times last
// within their day), undated ones below every dated one. A message's id lies in the band of its
// date; within a band, ids are handed out downwards, so earlier messages in the file come first.
struct Band {
  std::int64_t low = 0;   // first id of the band
  std::int64_t high = 0;  // last id of the band
};
Band BandOf(const std::string& date, const std::string& time, const std::string& zone);
// The first id of the day (days since 1970-01-01): every message of that day or later has an id
// at least this; every dated message one at least FirstDatedId.
std::int64_t FirstIdOfDay(std::int32_t daysSince1970);
std::int64_t FirstDatedId();
// Days since 1970-01-01 of a stored date text, as the tree reads it.
std::optional<std::int32_t> DayOf(const std::string& date);

}  // namespace Archive::InboxText
