#pragma once
// A query as the one SQL statement that lists its matches among the current sources, newest first
// (message ids order messages by date), a page at a time: the text index's expression, the
// sources asked, and the range of ids that the date filters and the page's start allow. No
// threads and no files: the caller runs the statement on its connection.

#include "archive/Matching.h"
#include "archive/Query.h"
#include "archive/Sqlite.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace Archive::QueryPlan {

// A source whose part of the index is current, by its number in the index.
struct Source {
  std::int64_t sid = 0;
  std::string id;
  std::string title;
};

struct Plan {
  // Nothing can match (an empty query, words the index cannot search for, a source: filter that
  // no current source passes, dates that exclude each other): there is no statement to run.
  bool nothing = true;
  // The statement up to its LIMIT, which is ?4; its columns are those Row reads.
  std::string sql;
  std::string match;     // the text index's expression, ?1 (empty: filters only)
  std::int64_t low = 1;  // ?2 and ?3: the ids asked
  std::int64_t high = std::numeric_limits<std::int64_t>::max();
  // The terms that must occur, to mark them in titles and snippets.
  std::vector<Matching::Phrase> phrases;

  Sql::Statement& Bind(Sql::Statement& statement) const;
};

// `before`: the page starts below this id (PageStart of the previous page's end). oldestFirst
// lists the matches from the other end (the last page of a long list without the rows between).
Plan Make(const Query& query, const std::vector<Source>& current,
          std::optional<std::int64_t> before, const Sql::Tokenizer& tokenizer,
          bool oldestFirst = false);

// A page's end as the caller keeps it, and read back.
std::string PageEnd(std::int64_t lastId);
std::optional<std::int64_t> PageStart(const std::string& end);

// A row of a plan's statement.
struct Row {
  std::int64_t id = 0;
  std::int64_t sid = 0;
  std::string guid, title, date, time, zone;
  bool read = false;
  std::int64_t at = -1, size = 0;  // where the message's section lies in its inbox file
};
Row RowOf(const Sql::Statement& statement);

}  // namespace Archive::QueryPlan
