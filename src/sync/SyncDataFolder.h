#pragma once
// How sync reads and changes this data folder: only through the owners of its files, the
// subscription store (sources by ID), the inbox store (each inbox's changes in one batch) and the
// saved-search store. What to change is SyncDecisions.h's.

#include "archive/SavedSearches.h"
#include "sync/SyncDecisions.h"
#include "sync/SyncReport.h"
#include "sync/SyncState.h"

#include <string>
#include <vector>

namespace Sync {

// Where the saved searches live: searches.dat through the archive's store unless another is given.
class ISavedSearches {
 public:
  virtual ~ISavedSearches() = default;
  virtual std::vector<Archive::SavedSearch> Load() = 0;
  virtual bool Save(const std::vector<Archive::SavedSearch>& searches) = 0;
};

// The sources of this data folder as the subscription file last held them.
class LocalSources {
 public:
  // Reads them anew. A file that cannot be opened leaves none known, and says so in the report
  // when one is given.
  void Refresh(Report* report);
  // The file changed: the next look reads it again.
  void Forget() { m_known = false; }
  bool Known() const { return m_known; }
  const std::vector<LocalSource>& All() const { return m_sources; }
  // By ID, reading the file again when the source is not known yet.
  const LocalSource* ById(const std::string& id);

 private:
  std::vector<LocalSource> m_sources;
  bool m_known = false;
};

// The actions that describe what this data folder holds, for a snapshot of it: its sources, its
// read messages and its saved searches, all with one stamp.
std::vector<Action> DataFolderActions(const std::vector<LocalSource>& sources,
                                      ISavedSearches* searches, Stamp stamp,
                                      const std::string& machine);

// Applies what changed in the merged state. What cannot be applied now (the subscription file
// cannot be read, an inbox cannot be written) goes to `retry` for the next merge.
void ApplyChanges(const State& state, const Changes& changes, LocalSources& sources,
                  ISavedSearches* searches, Changes& retry, Report& report);

}  // namespace Sync
