#include "archive/Query.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"

#include <algorithm>
#include <chrono>

namespace Archive {

namespace {

bool IsSpace(char c) { return c == ' '; }

// Valid UTF-8 without control characters: what cannot be a word's character becomes a blank, so
// no byte of the query reaches the text engine in a form it could stumble over.
std::string Sanitized(std::string_view text) {
  std::string clean;
  clean.reserve(std::min(text.size(), kMaxQueryBytes));
  for (std::size_t at = 0; at < text.size();) {
    const Utf8::Sequence sequence = Utf8::SequenceAt(text, at);
    const unsigned char first = static_cast<unsigned char>(text[at]);
    if (!sequence.valid || first < 0x20 || first == 0x7f) {
      clean += ' ';
    } else {
      clean.append(text.substr(at, sequence.length));
    }
    at += sequence.length;
  }
  if (clean.size() > kMaxQueryBytes) {
    std::size_t cut = kMaxQueryBytes;
    while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) --cut;
    clean.resize(cut);
  }
  return clean;
}

// A word worth searching holds a letter or a digit; anything outside ASCII may be one.
bool HasWordCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  });
}

std::string JoinedWords(std::string_view text) {
  std::string joined;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    const std::size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) {
      if (!joined.empty()) joined += ' ';
      joined.append(text.substr(at, end - at));
    }
    at = end;
  }
  return joined;
}

// Days since 1970-01-01 of "2026-01-31" (month and day may have one digit).
std::optional<std::int32_t> Day(std::string_view text) {
  const auto number = [](std::string_view digits, std::size_t most) -> std::optional<int> {
    if (digits.empty() || digits.size() > most) return std::nullopt;
    int value = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  const std::size_t first = text.find('-');
  const std::size_t second = first == std::string_view::npos ? first : text.find('-', first + 1);
  if (second == std::string_view::npos || first != 4) return std::nullopt;
  const auto year = number(text.substr(0, 4), 4);
  const auto month = number(text.substr(first + 1, second - first - 1), 2);
  const auto day = number(text.substr(second + 1), 2);
  if (!year || !month || !day) return std::nullopt;
  namespace chrono = std::chrono;
  const chrono::year_month_day date{chrono::year{*year}, chrono::month{unsigned(*month)},
                                    chrono::day{unsigned(*day)}};
  if (!date.ok()) return std::nullopt;
  return static_cast<std::int32_t>(chrono::sys_days{date}.time_since_epoch().count());
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
  return text.size() >= lowerPrefix.size() &&
         AsciiText::EqualsNoCase(text.substr(0, lowerPrefix.size()), lowerPrefix);
}

class Reader {
 public:
  explicit Reader(std::string text) : m_text(std::move(text)) {}

  Query Read() {
    while (SkipBlanks()) {
      const bool excluded =
          m_text[m_at] == '-' && m_at + 1 < m_text.size() && !IsSpace(m_text[m_at + 1]);
      if (excluded) ++m_at;
      if (m_text[m_at] == '"') {
        Quoted(excluded);
      } else {
        Word(excluded);
      }
    }
    return std::move(m_query);
  }

 private:
  bool SkipBlanks() {
    while (m_at < m_text.size() && IsSpace(m_text[m_at])) ++m_at;
    return m_at < m_text.size();
  }

  void AddTerm(std::string_view text, bool excluded, bool prefix) {
    std::string words = JoinedWords(text);
    if (!HasWordCharacter(words)) return;
    const bool phrase = words.find(' ') != std::string::npos;
    m_query.terms.push_back({std::move(words), phrase, prefix, excluded});
  }

  // A phrase; without its closing quote the quote is no more than a blank.
  void Quoted(bool excluded) {
    const std::size_t close = m_text.find('"', m_at + 1);
    if (close == std::string::npos) {
      ++m_at;
      if (m_at < m_text.size() && !IsSpace(m_text[m_at])) Word(excluded);
      return;
    }
    std::string_view inside = std::string_view(m_text).substr(m_at + 1, close - m_at - 1);
    m_at = close + 1;
    bool prefix = false;
    if (m_at < m_text.size() && m_text[m_at] == '*') {
      prefix = true;
      while (m_at < m_text.size() && m_text[m_at] == '*') ++m_at;
    }
    inside = AsciiText::Trim(inside, " ");
    if (!inside.empty() && inside.back() == '*') {
      prefix = true;
      while (!inside.empty() && inside.back() == '*') inside.remove_suffix(1);
    }
    AddTerm(inside, excluded, prefix);
  }

  void Word(bool excluded) {
    const std::size_t end = std::min(m_text.find(' ', m_at), m_text.size());
    std::string_view word = std::string_view(m_text).substr(m_at, end - m_at);
    if (!excluded && Filter(word)) return;
    m_at = end;
    bool prefix = false;
    if (word.size() > 1 && word.back() == '*') {
      prefix = true;
      while (!word.empty() && word.back() == '*') word.remove_suffix(1);
    }
    AddTerm(word, excluded, prefix);
  }

  // source:, is:, after: and before:; false (nothing taken) when the word is none of them.
  bool Filter(std::string_view word) {
    if (StartsWithNoCase(word, "source:")) return Source(word.size() - 7);
    std::optional<bool> read;
    if (AsciiText::EqualsNoCase(word, "is:read")) read = true;
    if (AsciiText::EqualsNoCase(word, "is:unread")) read = false;
    if (read) {
      m_query.read = read;
      m_at += word.size();
      return true;
    }
    for (const bool after : {true, false}) {
      const std::string_view name = after ? "after:" : "before:";
      if (!StartsWithNoCase(word, name)) continue;
      const std::optional<std::int32_t> day = Day(word.substr(name.size()));
      m_at += word.size();
      if (!day) {
        if (m_query.unreadableDate.empty()) m_query.unreadableDate = word;
        return true;
      }
      std::optional<std::int32_t>& bound = after ? m_query.after : m_query.before;
      // Filters all hold at once: of two bounds the narrower one counts.
      bound = !bound ? *day : after ? std::max(*bound, *day) : std::min(*bound, *day);
      return true;
    }
    return false;
  }

  // The source's title as typed: one word, or quoted (blanks and all).
  bool Source(std::size_t restOfWord) {
    const std::size_t valueAt = m_at + 7;
    std::size_t end = valueAt + restOfWord;
    std::string_view value = std::string_view(m_text).substr(valueAt, restOfWord);
    if (!value.empty() && value.front() == '"') {
      const std::size_t close = m_text.find('"', valueAt + 1);
      if (close != std::string::npos) {
        value = std::string_view(m_text).substr(valueAt + 1, close - valueAt - 1);
        end = close + 1;
      } else {
        value.remove_prefix(1);
      }
    }
    value = AsciiText::Trim(value, " ");
    if (value.empty()) return false;
    m_query.sources.push_back(JoinedWords(value));
    m_at = end;
    return true;
  }

  std::string m_text;
  std::size_t m_at = 0;
  Query m_query;
};

}  // namespace

bool Query::Empty() const {
  return !unreadableDate.empty() ||
         (terms.empty() && sources.empty() && !read && !after && !before);
}

Query ParseQuery(std::string_view text) { return Reader(Sanitized(text)).Read(); }

}  // namespace Archive
