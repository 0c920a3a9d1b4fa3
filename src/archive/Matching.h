#pragma once
// A query as the text index takes it: an FTS5 expression built from the words' tokens only (so no
// typed character is ever syntax), the source: filter against titles, and the matched words
// marked in a title or a line of text.

#include "archive/Query.h"
#include "archive/Sqlite.h"
#include "inbox/mInbox.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Archive::Matching {

// The text index's table: title and text searchable, and a column of tokens for the source
// ("s" and its number) and "all", which every message has. Contentless: the inbox files keep
// the text.
inline constexpr const char* kTextTableSql =
    "CREATE VIRTUAL TABLE text USING fts5(title, body, source, content='', columnsize=0, "
    "tokenize='unicode61 remove_diacritics 2')";
std::string SourceTokens(std::int64_t sid);

// The words of a term as the index reads them; the last one a prefix when prefix is set.
struct Phrase {
  std::vector<std::string> tokens;
  bool prefix = false;
};
// The terms that must occur, as phrases; terms without a word character are left out.
std::vector<Phrase> IncludedPhrases(const Query& query, const Sql::Tokenizer& tokenizer);

// The FTS5 expression of the query's terms, with `sources` (when given) as the sources a message
// must come from. Empty when the query asks nothing of the text (only filters).
std::string Expression(const Query& query, const Sql::Tokenizer& tokenizer,
                       const std::vector<std::int64_t>* sources);

// Nothing to look for: no filter, and no term with a word the index knows (only "^", say). Such
// a query lists nothing; it never means "everything".
bool AsksNothing(const Query& query, const std::string& expression);

// Whether a source of that title passes a source: filter value: the title holds the value, in
// ASCII letter case aside, or with case and accents folded as the index folds words.
bool SourceMatches(const std::string& title, const std::string& value,
                   const Sql::Tokenizer& tokenizer);

// The text around the first match, on one line, the matched words between kMarkOpen and
// kMarkClose; the text's beginning when nothing in it matches.
std::string Snippet(std::string_view text, const std::vector<Phrase>& phrases,
                    const Sql::Tokenizer& tokenizer);
// The whole title with its matched words marked.
std::string Marked(std::string_view title, const std::vector<Phrase>& phrases,
                   const Sql::Tokenizer& tokenizer);

// Messages about to be stored, in a text index of their own: queries are answered as the search
// index answers them.
class ArrivingMatcher {
 public:
  ArrivingMatcher(std::string sourceTitle, const std::vector<mInbox::InboxItem>& items);
  std::vector<bool> Matches(const Query& query);

 private:
  std::string m_sourceTitle;
  const std::vector<mInbox::InboxItem>& m_items;
  Sql::Database m_db;
  Sql::Tokenizer m_tokenizer;
  bool m_filled = false;
};

}  // namespace Archive::Matching
