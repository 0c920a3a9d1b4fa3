#pragma once
// quillpost --search QUERY, without any window: one line per matching message,
// "YYYY-MM-DD<TAB>source title<TAB>message title", newest first (undated ones last, with an empty
// date). A missing or stale index is brought up to date first, with its progress on standard
// error, so the answer is complete. It reads the inboxes and writes only the index, so it runs
// beside a reader, which shares the index with it.

#include "archive/SearchIndex.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace SearchCommand {

enum Status { Matched = 0, NothingMatched = 1, Failed = 2 };

int Run(const std::string& query, std::ostream& out, std::ostream& err);

// One printed line for a hit: tabs and line breaks inside the titles become blanks.
std::string Line(const Archive::Hit& hit);

// The subscribed sources as the index takes them (the first of an identifier); no value when the
// subscription file cannot be read.
std::optional<std::vector<Archive::SourceRef>> Sources();

// While a check without windows stores messages, an index that exists already is told what
// changed, so the next start or search finds it current. Its stale sources are left to them.
class IndexKeeper {
 public:
  IndexKeeper();
  ~IndexKeeper();
  IndexKeeper(const IndexKeeper&) = delete;
  IndexKeeper& operator=(const IndexKeeper&) = delete;

 private:
  std::unique_ptr<Archive::SearchIndex> m_index;
};

}  // namespace SearchCommand
