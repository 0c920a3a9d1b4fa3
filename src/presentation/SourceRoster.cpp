#include "presentation/SourceRoster.h"

#include "core/XmlDocument.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <utility>

void SourceRoster::SetOnChange(std::function<void(const Change&)> onChange) {
  m_onChange = std::move(onChange);
}

bool SourceRoster::Load() {
  // The opening steps without a box first: a missing or damaged file is the tree's to report.
  XmlDocument document;
  XmlNode list;
  std::vector<mSubscriptions::MessageSource> entries;
  if (mSubscriptions::OpenQuietly(document, list) != mSubscriptions::OpenFailure::None ||
      !mSubscriptions::ReadSources(entries))
    return false;
  Reset(std::move(entries));
  return true;
}

void SourceRoster::Reset(std::vector<mSubscriptions::MessageSource> entries) {
  m_entries = std::move(entries);
  Listed();
}

std::vector<std::string> SourceRoster::Ids() const {
  std::vector<std::string> ids;
  ids.reserve(m_sources.size());
  for (const Archive::SourceRef& source : m_sources) ids.push_back(source.id);
  return ids;
}

std::string SourceRoster::Title(const std::string& id) const {
  const auto at = m_at.find(id);
  return at == m_at.end() ? std::string() : m_sources[at->second].title;
}

void SourceRoster::SourcesAdded(const std::vector<mSubscriptions::MessageSource>& sources) {
  m_entries.insert(m_entries.end(), sources.begin(), sources.end());
  Listed();
}

void SourceRoster::SourceChanged(const mSubscriptions::MessageSource& before,
                                 const mSubscriptions::MessageSource& after) {
  const auto entry = std::find(m_entries.begin(), m_entries.end(), before);
  // Out of step with the file (edited by hand meanwhile): read it again.
  if (entry == m_entries.end()) {
    Load();
    return;
  }
  *entry = after;
  Listed();
}

void SourceRoster::SourceRemoved(const mSubscriptions::MessageSource& source) {
  const auto entry = std::find(m_entries.begin(), m_entries.end(), source);
  if (entry == m_entries.end()) {
    Load();
    return;
  }
  m_entries.erase(entry);
  Listed();
}

// Lists the entries as the tree does and tells what that changed.
void SourceRoster::Listed() {
  std::vector<Archive::SourceRef> sources;
  std::unordered_map<std::string, std::size_t> at;
  sources.reserve(m_entries.size());
  for (const mSubscriptions::MessageSource& entry : m_entries) {
    if (entry.ID.empty() || !at.emplace(entry.ID, sources.size()).second) continue;
    sources.push_back({entry.ID, entry.Title});
  }
  Change change;
  for (const Archive::SourceRef& source : sources) {
    const auto before = m_at.find(source.id);
    if (before == m_at.end()) {
      change.added.push_back(source.id);
    } else if (m_sources[before->second].title != source.title) {
      change.retitled = true;
    }
  }
  for (const Archive::SourceRef& source : m_sources)
    if (!at.contains(source.id)) change.removed.push_back(source.id);
  m_sources = std::move(sources);
  m_at = std::move(at);
  if (m_onChange && change != Change{}) m_onChange(change);
}
