#pragma once
// The sources the index serves, in the subscription file's order, each with its title and state:
// just listed (not yet compared with its inbox file), stale (to be indexed) or current (with its
// number in the index). What SetSources changes, the worker works through and a search asks; no
// threads here (the index's worker guards it).

#include "archive/QueryPlan.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Archive {

struct SourceRef {
  std::string id;
  std::string title;
  bool operator==(const SourceRef&) const = default;
};

struct Progress {
  std::size_t pending = 0;  // sources not current yet ("Indexing 120 of 500 sources ...")
  std::size_t total = 0;
  // Of the pending ones, those not yet compared with their inbox files (a moment after a start):
  // most of them turn out current, so they are no indexing to tell of.
  std::size_t checking = 0;
  bool operator==(const Progress&) const = default;
};

class ListedSources {
 public:
  // Takes the list; false when it is the list held, titles and order included (nothing to do).
  // A source listed before keeps its state; a new one waits to be compared with its inbox file.
  // Of an id listed twice the first counts.
  bool Set(const std::vector<SourceRef>& sources);
  bool Listed(const std::string& id) const;

  // The sources not yet compared with their inbox files.
  std::vector<std::string> Unchecked() const;
  bool AnyUnchecked() const;
  // Compared: current with its number in the index, or stale; inIndex: the index holds messages
  // of it (else the source is indexed from nothing).
  void Checked(const std::string& id, std::optional<std::int64_t> sid, bool inIndex);
  void MarkCurrent(const std::string& id, std::int64_t sid);
  void MarkStale(const std::string& id);
  // emptied: the index was started afresh and holds nothing.
  void MarkAllStale(bool emptied);
  // Its number in the index while it is current.
  std::optional<std::int64_t> CurrentSid(const std::string& id) const;
  bool InIndex(const std::string& id) const;

  // The stale sources in the order they are indexed: the list's order, except that a source put
  // Back waits behind the others.
  std::vector<std::string> Stale() const;
  std::optional<std::string> FirstStale() const;
  void PutBack(const std::string& id);

  Progress Indexing() const;
  std::vector<QueryPlan::Source> CurrentSources() const;

 private:
  enum class State { Unchecked, Stale, Current };
  struct Entry {
    std::string id;
    std::string title;
    State state = State::Unchecked;
    std::int64_t sid = 0;
    bool inIndex = false;
  };
  Entry* Find(const std::string& id);
  const Entry* Find(const std::string& id) const;
  void IndexPlaces();

  std::vector<Entry> m_entries;
  std::unordered_map<std::string, std::size_t> m_places;  // id -> its entry
  std::vector<SourceRef> m_given;  // as last given, to tell an unchanged list at once
};

}  // namespace Archive
