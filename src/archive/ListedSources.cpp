#include "archive/ListedSources.h"

#include <algorithm>
#include <unordered_set>

namespace Archive {

bool ListedSources::Set(const std::vector<SourceRef>& sources) {
  if (sources == m_given) return false;
  m_given = sources;
  std::unordered_map<std::string, Entry> before;
  for (Entry& entry : m_entries) before.emplace(entry.id, std::move(entry));
  m_entries.clear();
  std::unordered_set<std::string> seen;
  for (const SourceRef& source : sources) {
    if (!seen.insert(source.id).second) continue;
    Entry entry;
    if (const auto known = before.find(source.id); known != before.end())
      entry = std::move(known->second);
    entry.id = source.id;
    entry.title = source.title;
    m_entries.push_back(std::move(entry));
  }
  IndexPlaces();
  return true;
}

void ListedSources::IndexPlaces() {
  m_places.clear();
  for (std::size_t i = 0; i < m_entries.size(); ++i) m_places.emplace(m_entries[i].id, i);
}

ListedSources::Entry* ListedSources::Find(const std::string& id) {
  const auto found = m_places.find(id);
  return found == m_places.end() ? nullptr : &m_entries[found->second];
}

const ListedSources::Entry* ListedSources::Find(const std::string& id) const {
  return const_cast<ListedSources*>(this)->Find(id);
}

bool ListedSources::Listed(const std::string& id) const { return Find(id) != nullptr; }

std::vector<std::string> ListedSources::Unchecked() const {
  std::vector<std::string> ids;
  for (const Entry& entry : m_entries)
    if (entry.state == State::Unchecked) ids.push_back(entry.id);
  return ids;
}

bool ListedSources::AnyUnchecked() const {
  return std::any_of(m_entries.begin(), m_entries.end(),
                     [](const Entry& entry) { return entry.state == State::Unchecked; });
}

void ListedSources::Checked(const std::string& id, std::optional<std::int64_t> sid, bool inIndex) {
  Entry* entry = Find(id);
  if (!entry || entry->state != State::Unchecked) return;
  entry->state = sid ? State::Current : State::Stale;
  entry->sid = sid.value_or(0);
  entry->inIndex = inIndex;
}

void ListedSources::MarkCurrent(const std::string& id, std::int64_t sid) {
  if (Entry* entry = Find(id)) {
    entry->state = State::Current;
    entry->sid = sid;
    entry->inIndex = true;
  }
}

void ListedSources::MarkStale(const std::string& id) {
  if (Entry* entry = Find(id); entry && entry->state == State::Current) entry->state = State::Stale;
}

void ListedSources::MarkAllStale(bool emptied) {
  for (Entry& entry : m_entries) {
    if (entry.state == State::Current) entry.state = State::Stale;
    if (emptied) entry.inIndex = false;
  }
}

std::optional<std::int64_t> ListedSources::CurrentSid(const std::string& id) const {
  const Entry* entry = Find(id);
  if (!entry || entry->state != State::Current) return std::nullopt;
  return entry->sid;
}

bool ListedSources::InIndex(const std::string& id) const {
  const Entry* entry = Find(id);
  return entry && entry->inIndex;
}

std::vector<std::string> ListedSources::Stale() const {
  std::vector<std::string> ids;
  for (const Entry& entry : m_entries)
    if (entry.state == State::Stale) ids.push_back(entry.id);
  return ids;
}

std::optional<std::string> ListedSources::FirstStale() const {
  for (const Entry& entry : m_entries)
    if (entry.state == State::Stale) return entry.id;
  return std::nullopt;
}

void ListedSources::PutBack(const std::string& id) {
  const auto at = std::find_if(m_entries.begin(), m_entries.end(),
                               [&id](const Entry& entry) { return entry.id == id; });
  if (at == m_entries.end()) return;
  std::rotate(at, at + 1, m_entries.end());
  IndexPlaces();
}

Progress ListedSources::Indexing() const {
  Progress progress;
  progress.total = m_entries.size();
  for (const Entry& entry : m_entries) {
    progress.pending += entry.state == State::Current ? 0 : 1;
    progress.checking += entry.state == State::Unchecked ? 1 : 0;
  }
  return progress;
}

std::vector<QueryPlan::Source> ListedSources::CurrentSources() const {
  std::vector<QueryPlan::Source> sources;
  for (const Entry& entry : m_entries)
    if (entry.state == State::Current) sources.push_back({entry.sid, entry.id, entry.title});
  return sources;
}

}  // namespace Archive
