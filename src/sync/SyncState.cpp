#include "sync/SyncState.h"

#include "core/AsciiText.h"

#include <algorithm>

namespace Sync {

namespace {

bool IsDelete(const Winner& w) { return w.kind == Kind::Delete; }

}  // namespace

bool Changes::Empty() const {
  return membership.empty() && titles.empty() && readUpTo.empty() && marks.empty() &&
         !readAllUpTo && searches.empty();
}

std::uint32_t State::MachineNumber(const std::string& machine) {
  if (m_lastMachine != UINT32_MAX && m_machines[m_lastMachine] == machine) return m_lastMachine;
  const auto [it, added] =
      m_machineNumbers.try_emplace(machine, static_cast<std::uint32_t>(m_machines.size()));
  if (added) m_machines.push_back(machine);
  return m_lastMachine = it->second;
}

bool State::Wins(const Winner& a, const Winner& b) const {
  const auto order = CompareOrder(a.stamp, m_machines[a.machine], b.stamp, m_machines[b.machine]);
  if (order != 0) return order > 0;
  return static_cast<unsigned char>(a.kind) > static_cast<unsigned char>(b.kind);
}

SourceEntry& State::SourceFor(const std::string& link) {
  if (m_lastSource && m_lastSource->link == link) return *m_lastSource;
  SourceEntry& source = m_sources[link];
  if (source.link.empty()) source.link = link;
  m_lastSource = &source;
  return source;
}

bool State::Add(const Action& action, Changes* changes) {
  const Winner w{action.stamp, MachineNumber(action.machine), action.kind};
  m_newest = std::max(m_newest, action.stamp);
  // Whether w, carrying the text `mine`, beats the slot's winner carrying `theirs`. On a tie of
  // stamp, machine and kind the text decides, so that even a data folder's two copies agree.
  const auto beats = [&](const std::optional<Winner>& slot, const std::string& mine,
                         const std::string& theirs) {
    if (!slot || Wins(w, *slot)) return true;
    return !Wins(*slot, w) && mine > theirs;
  };
  static const std::string none;
  switch (action.kind) {
    case Kind::Subscribe:
    case Kind::Unsubscribe: {
      SourceEntry& source = SourceFor(action.link);
      bool changed = false;
      if (action.kind == Kind::Unsubscribe && beats(source.removal, none, none)) {
        source.removal = w;
        changed = true;
      }
      const std::string& mine = action.kind == Kind::Subscribe ? action.text : none;
      const bool added = source.membership && source.membership->kind == Kind::Subscribe;
      if (beats(source.membership, mine, added ? source.addTitle : none)) {
        source.membership = w;
        source.addTitle = mine;
        changed = true;
        if (changes) changes->membership.insert(action.link);
      }
      return changed;
    }
    case Kind::Rename: {
      SourceEntry& source = SourceFor(action.link);
      if (!beats(source.rename, action.text, source.title)) return false;
      source.rename = w;
      source.title = action.text;
      if (changes) changes->titles.insert(action.link);
      return true;
    }
    case Kind::ReadUpTo: {
      SourceEntry& source = SourceFor(action.link);
      if (!beats(source.readUpTo, none, none)) return false;
      source.readUpTo = w;
      if (changes) changes->readUpTo.insert(action.link);
      return true;
    }
    case Kind::ReadAllUpTo:
      if (!beats(m_readAll, none, none)) return false;
      m_readAll = w;
      if (changes) changes->readAllUpTo = true;
      return true;
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete: {
      SourceEntry& source = SourceFor(action.link);
      const std::string guid = AsciiText::Lower(action.text);
      const auto [it, added] = source.marks.try_emplace(guid, w);
      if (!added) {
        Winner& old = it->second;
        // A deletion wins over every mark, whatever its time.
        const bool wins = IsDelete(w) != IsDelete(old) ? IsDelete(w) : Wins(w, old);
        if (!wins) return false;
        old = w;
      }
      if (changes) changes->marks[action.link].insert(guid);
      return true;
    }
    case Kind::SearchSaved:
    case Kind::SearchRemoved: {
      const std::string name = AsciiText::Lower(action.text);
      const auto it = m_searches.find(name);
      if (it != m_searches.end()) {
        const SearchEntry& old = it->second;
        const std::string mine = action.text + '\t' + action.query + RuleText(action.rule);
        const std::string theirs = old.name + '\t' + old.query + RuleText(old.rule);
        if (!Wins(w, old.winner) && (Wins(old.winner, w) || mine <= theirs)) return false;
      }
      m_searches[name] = {w, action.text, action.query, action.rule};
      if (changes) changes->searches.insert(name);
      return true;
    }
  }
  return false;
}

const SourceEntry* State::Source(const std::string& link) const {
  const auto it = m_sources.find(link);
  return it == m_sources.end() ? nullptr : &it->second;
}

std::optional<bool> State::Subscribed(const std::string& link) const {
  const SourceEntry* source = Source(link);
  if (!source || !source->membership) return std::nullopt;
  return source->membership->kind == Kind::Subscribe;
}

std::optional<std::string> State::Renamed(const SourceEntry& source) const {
  const bool added = source.membership && source.membership->kind == Kind::Subscribe;
  if (source.rename && (!added || Wins(*source.rename, *source.membership))) return source.title;
  return std::nullopt;
}

std::string State::Title(const SourceEntry& source) const {
  return Renamed(source).value_or(source.addTitle);
}

std::optional<Winner> State::Mark(const SourceEntry& source, const std::string& guidLower) const {
  const auto it = source.marks.find(guidLower);
  if (it == source.marks.end() || (source.removal && !Wins(it->second, *source.removal)))
    return std::nullopt;
  return it->second;
}

Decision State::Message(const SourceEntry& source, const std::string& guidLower,
                        std::optional<std::int64_t> arrivalMs) const {
  // What came before the source's latest unsubscribe no longer counts.
  const auto counts = [&](const Winner& w) { return !source.removal || Wins(w, *source.removal); };
  std::optional<Winner> best = Mark(source, guidLower);
  if (best && IsDelete(*best)) return {Verdict::Delete, best->stamp};
  // "Read up to now" covers what had arrived by then.
  for (const std::optional<Winner>& upTo : {source.readUpTo, m_readAll}) {
    if (!upTo || !counts(*upTo) || (arrivalMs && *arrivalMs > upTo->stamp.ms)) continue;
    if (!best || Wins(*upTo, *best)) best = Winner{upTo->stamp, upTo->machine, Kind::Read};
  }
  if (!best) return {};
  return {best->kind == Kind::Unread ? Verdict::Unread : Verdict::Read, best->stamp};
}

std::size_t State::MarkCount() const {
  std::size_t count = 0;
  for (const auto& [link, source] : m_sources) count += source.marks.size();
  return count;
}

void State::Arrived(const std::string& link, const std::string& guid, std::int64_t ms) {
  SourceFor(link).arrivals[AsciiText::Lower(guid)] = ms;
}

std::optional<std::int64_t> State::ArrivalMs(const SourceEntry& source,
                                             const std::string& guidLower) const {
  const auto it = source.arrivals.find(guidLower);
  if (it == source.arrivals.end()) return std::nullopt;
  return it->second;
}

void State::ForgetArrivalsBefore(std::int64_t ms) {
  for (auto& [link, source] : m_sources)
    std::erase_if(source.arrivals, [ms](const auto& each) { return each.second < ms; });
}

void State::Compact() {
  for (auto& [link, source] : m_sources) {
    if (!source.removal) continue;
    const Winner removal = *source.removal;
    std::erase_if(source.marks, [&](const auto& each) { return !Wins(each.second, removal); });
    if (source.readUpTo && !Wins(*source.readUpTo, removal)) source.readUpTo.reset();
  }
}

}  // namespace Sync
