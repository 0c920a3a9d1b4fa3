#include "archive/Query.h"

#include "core/Utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace Archive {

void PrintTo(const Query& q, std::ostream* out) {
  *out << "{";
  for (const Term& t : q.terms)
    *out << (t.excluded ? "-" : "") << (t.phrase ? "\"" : "[") << t.text << (t.phrase ? "\"" : "]")
         << (t.prefix ? "*" : "") << " ";
  for (const std::string& s : q.sources) *out << "source:" << s << " ";
  if (q.read) *out << (*q.read ? "is:read " : "is:unread ");
  if (q.after) *out << "after:" << *q.after << " ";
  if (q.before) *out << "before:" << *q.before << " ";
  if (!q.unreadableDate.empty()) *out << "unreadable:" << q.unreadableDate << " ";
  *out << "}";
}

namespace {

Term Word(std::string text, bool prefix = false) { return {std::move(text), false, prefix, false}; }
Term Phrase(std::string text, bool prefix = false) {
  return {std::move(text), true, prefix, false};
}
Query Q(std::vector<Term> terms, std::vector<std::string> sources = {},
        std::optional<bool> read = {}, std::optional<std::int32_t> after = {},
        std::optional<std::int32_t> before = {}) {
  Query query;
  query.terms = std::move(terms);
  query.sources = std::move(sources);
  query.read = read;
  query.after = after;
  query.before = before;
  return query;
}
Term Not(Term term) {
  term.excluded = true;
  return term;
}

// Days since 1970-01-01.
constexpr std::int32_t k2026_01_31 = 20484;
constexpr std::int32_t k2026_03_01 = 20513;

TEST(ParseQuery, ReadsWhatTheUserMeans) {
  struct Row {
    const char* name;
    std::string text;
    Query expected;
  };
  const Row rows[] = {
      {"words in any order", "  Kitchen   notes ", Q({Word("Kitchen"), Word("notes")})},
      {"prefix", "gard*", Q({Word("gard", true)})},
      {"phrase", "\"two  words\"", Q({Phrase("two words")})},
      {"phrase with a prefix", "\"two wor*\" \"café crème\"*",
       Q({Phrase("two wor", true), Phrase("café crème", true)})},
      {"a quoted single word", "\"word\"", Q({Word("word")})},
      {"exclusions", "bread -rye -\"sour dough\"",
       Q({Word("bread"), Not(Word("rye")), Not(Phrase("sour dough"))})},
      {"source filters, quoted or not", "source:Kitchen source:\"Garden Letter\"",
       Q({}, {"Kitchen", "Garden Letter"})},
      {"is:read and is:unread, the last wins", "IS:UNREAD x is:read", Q({Word("x")}, {}, true)},
      {"dates, on or after / before", "after:2026-01-31 before:2026-3-1",
       Q({}, {}, {}, k2026_01_31, k2026_03_01)},
      {"two bounds of a kind: the narrower",
       "after:2026-01-01 after:2026-01-31 before:2026-03-01 "
       "before:2026-12-01",
       Q({}, {}, {}, k2026_01_31, k2026_03_01)},
      {"filters alone", "is:unread", Q({}, {}, false)},
      {"an exclusion alone", "-rye", Q({Not(Word("rye"))})},
      // Anything else is words: never syntax, never "everything".
      {"unbalanced quote", "\"two words", Q({Word("two"), Word("words")})},
      {"unbalanced quote after a minus", "-\"rye", Q({Not(Word("rye"))})},
      {"engine syntax", "NEAR(a b) ^start x:y col:(z) a OR b AND NOT c",
       Q({Word("NEAR(a"), Word("b)"), Word("^start"), Word("x:y"), Word("col:(z)"), Word("a"),
          Word("OR"), Word("b"), Word("AND"), Word("NOT"), Word("c")})},
      {"punctuation alone is nothing", "^ : * - -- \"\" ( ) {}", {}},
      {"a filter without a value is a word", "source: is:maybe",
       Q({Word("source:"), Word("is:maybe")})},
      {"a minus before a filter makes it a word", "-is:read", Q({Not(Word("is:read"))})},
      {"NUL and control characters are blanks", std::string("a\0b\tc\x1b", 7),
       Q({Word("a"), Word("b"), Word("c")})},
      {"invalid UTF-8 is a blank", "caf\xC3 \xFF\xFEx\xE2\x82", Q({Word("caf"), Word("x")})},
  };
  for (const Row& row : rows) EXPECT_EQ(ParseQuery(row.text), row.expected) << row.name;
}

TEST(ParseQuery, ALongQueryIsCutAtACharacterAndNothingIsEverything) {
  std::string text;
  while (text.size() < 10'000) text += "\xC3\xA9t\xC3\xA9 ";
  const Query query = ParseQuery(text);
  std::size_t bytes = 0;
  for (const Term& term : query.terms) {
    bytes += term.text.size() + 1;
    EXPECT_EQ(Utf8::FirstInvalid(term.text), std::string::npos) << term.text;
  }
  EXPECT_LE(bytes, kMaxQueryBytes + 1);
  EXPECT_GT(bytes, kMaxQueryBytes - 8);
  EXPECT_TRUE(ParseQuery("").Empty());
  EXPECT_TRUE(ParseQuery(" \" ^ ").Empty());
  EXPECT_FALSE(ParseQuery("is:read").Empty());
}

// Catches `after:garbage` read as a word that silently matches nothing, or dropped so that the
// query finds more than the user asked for.
TEST(ParseQuery, ADateThatCannotBeReadIsNamedAndTheQueryFindsNothing) {
  for (const auto& [text, named] :
       {std::pair("soup after:2026-02-30 before:soon", "after:2026-02-30"),
        {"BEFORE:yesterday", "BEFORE:yesterday"},
        {"after: soup", "after:"}}) {
    const Query query = ParseQuery(text);
    EXPECT_EQ(query.unreadableDate, named) << text;
    EXPECT_TRUE(query.Empty()) << text;
  }
  EXPECT_EQ(ParseQuery("-after:soon").unreadableDate, "");  // a word to leave out
}

}  // namespace
}  // namespace Archive
