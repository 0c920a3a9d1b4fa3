#include "archive/SavedSearches.h"

#include "archive/Matching.h"
#include "config/IniDocument.h"
#include "core/AsciiText.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>

namespace Archive {

namespace {

constexpr const char* kMarkRead = "mark read";
constexpr const char* kDelete = "delete";

std::string Clean(const std::string& text) {
  return std::string(AsciiText::Trim(IniDocument::WithoutLineBreaks(text)));
}

Rule RuleOf(const std::optional<std::string>& text) {
  if (!text) return Rule::None;
  if (AsciiText::EqualsNoCase(AsciiText::Trim(*text), kMarkRead)) return Rule::MarkRead;
  if (AsciiText::EqualsNoCase(AsciiText::Trim(*text), kDelete)) return Rule::Delete;
  return Rule::None;
}

}  // namespace

std::string SavedSearchesPath() {
  return mGeneralFunctions::AddBackslash(mAppFunctions::DataFolder()) + "searches.dat";
}

std::vector<SavedSearch> LoadSavedSearches() {
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(SavedSearchesPath(), ec);
  std::vector<SavedSearch> searches;
  for (std::string& name : doc.SectionNames()) {
    std::optional<std::string> query = doc.GetValue(name, "query");
    if (!query || name.empty()) continue;
    const Rule rule = RuleOf(doc.GetValue(name, "rule"));
    searches.push_back({std::move(name), std::move(*query), rule});
  }
  return searches;
}

bool NameIsFree(const std::vector<SavedSearch>& searches, const std::string& name) {
  const std::string clean = Clean(name);
  return !clean.empty() && std::none_of(searches.begin(), searches.end(), [&](const auto& s) {
    return AsciiText::EqualsNoCase(Clean(s.name), clean);
  });
}

bool SaveSavedSearches(const std::vector<SavedSearch>& searches) {
  IniDocument doc;
  std::vector<SavedSearch> written;
  for (const SavedSearch& search : searches) {
    if (!NameIsFree(written, search.name)) return false;
    const std::string name = Clean(search.name);
    // A name the file would read as another's, or not at all.
    if (name.starts_with('[')) return false;
    doc.SetValue(name, "query", Clean(search.query));
    if (search.rule != Rule::None)
      doc.SetValue(name, "rule", search.rule == Rule::MarkRead ? kMarkRead : kDelete);
    written.push_back({name, search.query, search.rule});
  }
  std::error_code ec;
  return doc.Save(SavedSearchesPath(), ec);
}

SearchRules::SearchRules(std::function<std::string(const std::string& sourceId)> sourceTitle)
    : m_sourceTitle(std::move(sourceTitle)) {
  Reload();
}

void SearchRules::Reload() {
  m_rules.clear();
  for (const SavedSearch& search : LoadSavedSearches())
    if (search.rule != Rule::None) m_rules.emplace_back(search.rule, ParseQuery(search.query));
}

void SearchRules::Arriving(const std::string& sourceId, std::vector<mInbox::InboxItem>& items,
                           std::vector<std::string>& deleted) {
  if (m_rules.empty() || items.empty()) return;
  std::vector<bool> refused(items.size(), false);
  try {
    // One text index of the arriving messages for every rule; it sees the read flags as the
    // rules before have left them.
    Matching::ArrivingMatcher matcher(m_sourceTitle ? m_sourceTitle(sourceId) : std::string(),
                                      items);
    for (const auto& [rule, query] : m_rules) {
      const std::vector<bool> matches = matcher.Matches(query);
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (!matches[i] || refused[i]) continue;
        if (rule == Rule::Delete) {
          refused[i] = true;
        } else {
          items[i].read = 1;
        }
      }
    }
  } catch (const std::exception&) {
    // Without a text index no rule can be judged: the messages arrive as they are.
    return;
  }
  for (std::size_t i = 0; i < items.size(); ++i)
    if (refused[i]) deleted.push_back(items[i].guid);
}

}  // namespace Archive
