#pragma once
// A search as the user types it, read into what it means. Any text is a query: nothing typed can
// reach the text engine as syntax, fail, or come to mean "everything".
//
//   words         every word must occur (title or message text), in any order; case and accents
//                 do not matter ("cafe" finds "Café")
//   word*         a word beginning so
//   "two words"   a phrase
//   -word -"a b"  must not occur
//   source:Kitchen  source:"Kitchen Notes"   a source whose title contains it (case aside);
//                 several: any of them
//   is:unread is:read
//   after:2026-01-31   on or after that day;   before:2026-03-01   before that day
//                 (undated messages never pass a date filter); a date that cannot be read
//                 makes the whole query find nothing, and says so (unreadableDate)
// Anything else (unbalanced quotes, "NEAR(", "^", ":", NUL, invalid UTF-8, ...) is read as words.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Archive {

struct Term {
  std::string text;  // one word, or the words of a phrase separated by single spaces
  bool phrase = false;
  bool prefix = false;    // word*: the last word is a prefix
  bool excluded = false;  // -word
  bool operator==(const Term&) const = default;
};

struct Query {
  std::vector<Term> terms;
  std::vector<std::string> sources;    // source: filters, as typed (without quotes)
  std::optional<bool> read;            // is:read (true) / is:unread (false); the last one wins
  std::optional<std::int32_t> after;   // days since 1970-01-01: on or after
  std::optional<std::int32_t> before;  // days since 1970-01-01: before
  // The first after: or before: word whose date cannot be read, as typed ("after:soon"). Left
  // out, it would widen what the user asked for; read as words, it would silently find nothing.
  std::string unreadableDate;
  // Nothing to search for: no term and no filter, or a date that cannot be read. Such a query
  // lists nothing (it never means "everything").
  bool Empty() const;
  bool operator==(const Query&) const = default;
};

// Reads the text; a query longer than kMaxQueryBytes is cut there (at a character boundary).
inline constexpr std::size_t kMaxQueryBytes = 1000;
Query ParseQuery(std::string_view text);

}  // namespace Archive
