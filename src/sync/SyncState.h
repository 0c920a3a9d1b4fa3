#pragma once
// The merged state of every machine's actions: per thing the one action that wins. Folding in an
// action is a pure function of the set of actions seen, so the order in which files arrive, a
// file read twice or two files interleaved never change the outcome:
//   - a message: its latest mark (read or unread), unless any machine deleted it: a deletion
//     wins over every mark;
//   - a source: the latest of subscribe and unsubscribe; the latest rename; the latest "read up
//     to now". Whatever was done to a source's messages before its latest unsubscribe no longer
//     counts, so a source added again starts clean;
//   - a saved search, by its name without letter case: the latest of kept and removed.
// The state also keeps, for this machine only, when each message arrived here (for "read up to
// now", which covers what was stored by then and not what came later); these never travel.
// How a state is written is SyncFiles.h's (StateText).

#include "sync/SyncActions.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Sync {

// The winning action of one thing, with its machine as a number of the state's table.
struct Winner {
  Stamp stamp;
  std::uint32_t machine = 0;
  Kind kind = Kind::Read;
};

struct SourceEntry {
  std::string link;
  std::optional<Winner> membership;  // Subscribe or Unsubscribe
  std::string addTitle;              // the winning Subscribe's title
  std::optional<Winner> removal;     // the latest Unsubscribe
  std::optional<Winner> rename;
  std::string title;  // the winning Rename's
  std::optional<Winner> readUpTo;
  std::unordered_map<std::string, Winner> marks;           // by the guid in lower case
  std::unordered_map<std::string, std::int64_t> arrivals;  // guid in lower case -> ms, local
};

struct SearchEntry {
  Winner winner;  // SearchSaved or SearchRemoved
  std::string name;
  std::string query;
  Archive::Rule rule = Archive::Rule::None;
};

// What folding changed, for applying it to this machine's files.
struct Changes {
  std::set<std::string> membership, titles, readUpTo;            // links
  std::map<std::string, std::unordered_set<std::string>> marks;  // link -> guids in lower case
  bool readAllUpTo = false;
  std::set<std::string> searches;  // names in lower case
  bool Empty() const;
};

// What a message's actions say now.
enum class Verdict { None, Read, Unread, Delete };
struct Decision {
  Verdict verdict = Verdict::None;
  Stamp stamp;
};

class State {
 public:
  // Folds an action in (its link as the subscription file stores it). True when it now wins;
  // changes, when given, names what it changed.
  bool Add(const Action& action, Changes* changes = nullptr);

  const SourceEntry* Source(const std::string& link) const;
  const std::map<std::string, SourceEntry>& Sources() const { return m_sources; }
  const std::map<std::string, SearchEntry>& Searches() const { return m_searches; }
  const std::optional<Winner>& ReadAllUpTo() const { return m_readAll; }
  const std::string& Machine(std::uint32_t number) const { return m_machines[number]; }
  std::size_t MachineCount() const { return m_machines.size(); }

  // Whether the source is subscribed by the latest action about it; nothing when none is known.
  std::optional<bool> Subscribed(const std::string& link) const;
  // The title of the latest rename when it is later than the winning subscribe: a source is
  // renamed only by a rename, never by another machine subscribing it under its own title.
  std::optional<std::string> Renamed(const SourceEntry& source) const;
  // The title a source added here gets: that of the latest rename or subscribe.
  std::string Title(const SourceEntry& source) const;
  // The message's own mark (not "read up to now", which never covers what arrives later), when
  // it still counts.
  std::optional<Winner> Mark(const SourceEntry& source, const std::string& guidLower) const;
  // The message's fate. arrivalMs is when it was stored here, when known: "read up to now"
  // covers it only when it arrived by the action's time (unknown counts as before).
  Decision Message(const SourceEntry& source, const std::string& guidLower,
                   std::optional<std::int64_t> arrivalMs) const;

  // The newest stamp of any action (for the clock).
  Stamp Newest() const { return m_newest; }
  std::size_t MarkCount() const;

  // This machine's arrivals: a message stored now; forgotten after kArrivalDays.
  void Arrived(const std::string& link, const std::string& guid, std::int64_t ms);
  std::optional<std::int64_t> ArrivalMs(const SourceEntry& source,
                                        const std::string& guidLower) const;
  void ForgetArrivalsBefore(std::int64_t ms);

  // Drops what can no longer count (marks and "read up to now" older than their source's
  // latest unsubscribe). What any query gives stays the same.
  void Compact();

 private:
  std::uint32_t MachineNumber(const std::string& machine);
  bool Wins(const Winner& a, const Winner& b) const;
  SourceEntry& SourceFor(const std::string& link);

  std::vector<std::string> m_machines;
  std::unordered_map<std::string, std::uint32_t> m_machineNumbers;
  // Files hold long runs of one machine's actions on one source.
  std::uint32_t m_lastMachine = UINT32_MAX;
  SourceEntry* m_lastSource = nullptr;
  std::map<std::string, SourceEntry> m_sources;
  std::map<std::string, SearchEntry> m_searches;
  std::optional<Winner> m_readAll;
  Stamp m_newest;
};

inline constexpr int kArrivalDays = 30;
// A mark waits this long for its message, and arrivals are kept as long.
inline constexpr std::int64_t kMarkWaitMs = std::int64_t{kArrivalDays} * 24 * 60 * 60 * 1000;

}  // namespace Sync
