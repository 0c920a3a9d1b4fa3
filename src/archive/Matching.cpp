#include "archive/Matching.h"

#include "archive/InboxText.h"
#include "archive/SearchIndex.h"
#include "core/AsciiText.h"

#include <algorithm>

namespace Archive::Matching {

namespace {

struct Token {
  std::string text;
  std::size_t start = 0;
  std::size_t end = 0;
};

std::vector<Token> TokensOf(std::string_view text, const Sql::Tokenizer& tokenizer) {
  std::vector<Token> tokens;
  tokenizer.Tokenize(text, [&tokens](std::string_view token, std::size_t start, std::size_t end) {
    tokens.push_back({std::string(token), start, end});
  });
  return tokens;
}

// A phrase as an FTS5 string: tokens hold letters and digits only, so no quote can occur.
std::string PhraseText(const std::vector<std::string>& tokens, bool prefix) {
  std::string text = "{title body} : \"";
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) text += ' ';
    text += tokens[i];
  }
  text += '"';
  if (prefix) text += " *";
  return text;
}

// Which tokens belong to an occurrence of one of the phrases.
std::vector<bool> MarkedTokens(const std::vector<Token>& tokens,
                               const std::vector<Phrase>& phrases) {
  std::vector<bool> marked(tokens.size(), false);
  for (const Phrase& phrase : phrases) {
    const std::size_t length = phrase.tokens.size();
    if (length == 0 || length > tokens.size()) continue;
    for (std::size_t i = 0; i + length <= tokens.size(); ++i) {
      bool match = true;
      for (std::size_t j = 0; j < length && match; ++j) {
        const std::string& want = phrase.tokens[j];
        const std::string& have = tokens[i + j].text;
        match = (phrase.prefix && j + 1 == length) ? have.starts_with(want) : have == want;
      }
      if (match) std::fill(marked.begin() + long(i), marked.begin() + long(i + length), true);
    }
  }
  return marked;
}

// The text from `from` to `to` on one line (white space as single blanks), the marked tokens
// between the marks.
std::string Rendered(std::string_view text, std::size_t from, std::size_t to,
                     const std::vector<Token>& tokens, const std::vector<bool>& marked) {
  std::string out;
  std::size_t next = 0;
  while (next < tokens.size() && tokens[next].start < from) ++next;
  bool blank = false;
  for (std::size_t at = from; at < to;) {
    if (next < tokens.size() && tokens[next].start == at) {
      if (blank) out += ' ';
      blank = false;
      const Token& token = tokens[next];
      const std::size_t end = std::min(token.end, to);
      if (marked[next]) out += kMarkOpen;
      out.append(text.substr(at, end - at));
      if (marked[next]) out += kMarkClose;
      at = end;
      ++next;
      continue;
    }
    const char c = text[at++];
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      blank = !out.empty();
    } else {
      if (blank) out += ' ';
      blank = false;
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string SourceTokens(std::int64_t sid) { return "all s" + std::to_string(sid); }

std::vector<Phrase> IncludedPhrases(const Query& query, const Sql::Tokenizer& tokenizer) {
  std::vector<Phrase> phrases;
  for (const Term& term : query.terms) {
    if (term.excluded) continue;
    std::vector<std::string> tokens = tokenizer.Tokens(term.text);
    if (!tokens.empty()) phrases.push_back({std::move(tokens), term.prefix});
  }
  return phrases;
}

std::string Expression(const Query& query, const Sql::Tokenizer& tokenizer,
                       const std::vector<std::int64_t>* sources) {
  std::vector<std::string> all, none;
  for (const Term& term : query.terms) {
    const std::vector<std::string> tokens = tokenizer.Tokens(term.text);
    if (tokens.empty()) continue;
    (term.excluded ? none : all).push_back(PhraseText(tokens, term.prefix));
  }
  if (sources) {
    std::string any = "source : (";
    for (std::size_t i = 0; i < sources->size(); ++i) {
      if (i > 0) any += " OR ";
      any += "s" + std::to_string((*sources)[i]);
    }
    all.push_back(any + ")");
  }
  if (all.empty()) {
    if (none.empty()) return {};
    all.push_back("source : all");
  }
  std::string expression = "(";
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) expression += " AND ";
    expression += all[i];
  }
  expression += ')';
  for (const std::string& term : none) expression += " NOT (" + term + ")";
  return expression;
}

bool AsksNothing(const Query& query, const std::string& expression) {
  return expression.empty() && query.sources.empty() && !query.read && !query.after &&
         !query.before;
}

bool SourceMatches(const std::string& title, const std::string& value,
                   const Sql::Tokenizer& tokenizer) {
  if (value.empty()) return false;
  if (AsciiText::Lower(title).find(AsciiText::Lower(value)) != std::string::npos) return true;
  const auto folded = [&tokenizer](const std::string& text) {
    std::string joined;
    for (const std::string& token : tokenizer.Tokens(text)) {
      if (!joined.empty()) joined += ' ';
      joined += token;
    }
    return joined;
  };
  const std::string part = folded(value);
  return !part.empty() && folded(title).find(part) != std::string::npos;
}

std::string Snippet(std::string_view text, const std::vector<Phrase>& phrases,
                    const Sql::Tokenizer& tokenizer) {
  constexpr std::size_t kWordsBefore = 4;
  constexpr std::size_t kBytes = 220;
  const std::vector<Token> tokens = TokensOf(text, tokenizer);
  if (tokens.empty()) return {};
  const std::vector<bool> marked = MarkedTokens(tokens, phrases);
  const auto first = std::find(marked.begin(), marked.end(), true);
  const std::size_t hit = first == marked.end() ? 0 : std::size_t(first - marked.begin());
  std::size_t begin = hit > kWordsBefore ? hit - kWordsBefore : 0;
  std::size_t last = begin;
  while (last + 1 < tokens.size() &&
         (last < hit || tokens[last + 1].end - tokens[begin].start <= kBytes))
    ++last;
  // A long match keeps its beginning in view.
  while (begin < hit && tokens[last].end - tokens[begin].start > kBytes) ++begin;
  const std::size_t from = begin == 0 ? 0 : tokens[begin].start;
  const bool more = last + 1 < tokens.size();
  const std::size_t to = more ? tokens[last].end : text.size();
  std::string snippet = Rendered(text, from, to, tokens, marked);
  if (begin > 0) snippet.insert(0, "\xE2\x80\xA6 ");
  if (more) snippet += " \xE2\x80\xA6";
  return snippet;
}

std::string Marked(std::string_view title, const std::vector<Phrase>& phrases,
                   const Sql::Tokenizer& tokenizer) {
  const std::vector<Token> tokens = TokensOf(title, tokenizer);
  std::string out;
  std::size_t at = 0;
  const std::vector<bool> marked = MarkedTokens(tokens, phrases);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (!marked[i]) continue;
    out.append(title.substr(at, tokens[i].start - at));
    out += kMarkOpen;
    out.append(title.substr(tokens[i].start, tokens[i].end - tokens[i].start));
    out += kMarkClose;
    at = tokens[i].end;
  }
  out.append(title.substr(at));
  return out;
}

ArrivingMatcher::ArrivingMatcher(std::string sourceTitle,
                                 const std::vector<mInbox::InboxItem>& items)
    : m_sourceTitle(std::move(sourceTitle)), m_items(items), m_db(":memory:"), m_tokenizer(m_db) {}

std::vector<bool> ArrivingMatcher::Matches(const Query& query) {
  std::vector<bool> matches(m_items.size(), false);
  if (query.Empty()) return matches;
  if (!query.sources.empty() &&
      std::none_of(query.sources.begin(), query.sources.end(), [this](const std::string& value) {
        return SourceMatches(m_sourceTitle, value, m_tokenizer);
      }))
    return matches;
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    const mInbox::InboxItem& item = m_items[i];
    bool pass = !query.read || (item.read != 0) == *query.read;
    if (query.after || query.before) {
      const std::optional<std::int32_t> day = InboxText::DayOf(InboxText::FileForm(item).date);
      pass = pass && day && (!query.after || *day >= *query.after) &&
             (!query.before || *day < *query.before);
    }
    matches[i] = pass;
  }
  const std::string expression = Expression(query, m_tokenizer, nullptr);
  if (expression.empty()) {
    if (AsksNothing(query, expression)) std::fill(matches.begin(), matches.end(), false);
    return matches;
  }
  if (!m_filled) {
    m_db.Exec(kTextTableSql);
    Sql::Statement insert(m_db, "INSERT INTO text(rowid, title, body, source) VALUES(?, ?, ?, ?)");
    for (std::size_t i = 0; i < m_items.size(); ++i) {
      const mInbox::InboxItem item = InboxText::FileForm(m_items[i]);
      insert.Bind(1, std::int64_t(i + 1)).Bind(2, item.title).Bind(3, InboxText::IndexedText(item));
      insert.Bind(4, SourceTokens(0)).Run();
    }
    m_filled = true;
  }
  std::vector<bool> text(m_items.size(), false);
  Sql::Statement select(m_db, "SELECT rowid FROM text WHERE text MATCH ?");
  select.Bind(1, expression);
  while (select.Step()) {
    const std::int64_t row = select.Int(0);
    if (row >= 1 && row <= std::int64_t(m_items.size())) text[std::size_t(row - 1)] = true;
  }
  for (std::size_t i = 0; i < matches.size(); ++i) matches[i] = matches[i] && text[i];
  return matches;
}

}  // namespace Archive::Matching
