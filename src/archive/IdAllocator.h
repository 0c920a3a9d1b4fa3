#pragma once
// Message ids that order messages by date (InboxText::BandOf): handed out downwards within a
// message's band, below every id of the band that a message has or ever had, so that earlier
// messages of a file come first and the words of a deleted message (which the text index keeps)
// never meet another message; once the band is full (more than 64 messages of one second), the
// highest id below it that no message has nor ever had.

#include "archive/InboxText.h"
#include "archive/Sqlite.h"

#include <cstdint>
#include <unordered_map>

namespace Archive {

class IdAllocator {
 public:
  // The connection that writes the messages and garbage tables.
  explicit IdAllocator(const Sql::Database& db);
  std::int64_t Allocate(const InboxText::Band& band);

 private:
  Sql::Statement m_lowest;
  Sql::Statement m_used;
  // Full bands: where to look next below them, so that a run of full bands is not searched anew.
  std::unordered_map<std::int64_t, std::int64_t> m_spill;
};

}  // namespace Archive
