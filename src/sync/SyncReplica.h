#pragma once
// This data folder as a replica: its identity, the sessions that wrote as it, its clock and how
// far each file of the folder was read (sync.dat), the merged state as applied here (sync.state),
// its own log (sync.log, from which the folder's copy is repaired), and the copies of its log and
// snapshot that it publishes in the sync folder. Nothing else is ever written.

#include "sync/SyncFiles.h"
#include "sync/SyncReport.h"
#include "sync/SyncState.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Sync {

class Replica {
 public:
  // Reads this data folder's files, once. A data folder's first sync, or a damaged sync.dat,
  // makes a new replica with an identity of its own.
  void Load(Report& report);
  // False when there was no random for an identity: nothing can be synced.
  bool HasIdentity() const { return !m_machine.empty(); }
  const std::string& Machine() const { return m_machine; }
  // The folder the read positions belong to (the one last published to).
  const std::string& BoundFolder() const { return m_boundFolder; }

  State& Merged() { return m_state; }
  const State& Merged() const { return m_state; }
  // Messages arrived: sync.state is written at the next merge or at the end.
  void Arrived(const std::string& key, const std::string& guid, std::int64_t ms);
  bool StateDirty() const { return m_stateDirty; }

  // The clock: a reading for an action made now, and another machine's stamp seen.
  Stamp Tick();
  void Observe(Stamp stamp);

  // Where the last read of each file of the folder stopped.
  std::map<std::string, FilePosition>& Positions() { return m_positions; }
  // Only the files still listed keep their positions.
  void KeepPositions(const std::set<std::string>& names);
  // Whether a session token was written by this data folder; one that was not, found in this
  // replica's files, was written by a copy of it.
  bool OwnSession(const std::string& token) const;

  // Appends an action's line to the log here and then to the folder's copy. A folder copy that is
  // no longer what this replica wrote is left for Publish. Problems go to `problems`.
  bool Append(const std::string& line, const std::string& folder,
              std::vector<std::string>& problems);
  std::uint64_t JournalSize() const { return m_journalSize; }
  std::uint64_t SnapshotSize() const { return m_snapshotSize; }
  // Whether the folder's copies must be written anew: missing, or changed by someone else.
  bool NeedsPublishing(const std::string& folder);
  // Replaces the folder's snapshot with the merged state and starts the log again here and
  // there; binds the read positions to the folder.
  bool Publish(const std::string& folder, Report& report);
  // A copy of this data folder also syncs as this identity: this one goes on as a new one.
  void NewIdentity(const std::string& folder, Report& report);
  // Temporaries a killed write of this replica left in the folder (only its own).
  void RemoveTemporaries(const std::string& folder) const;

  bool SaveSyncDat();
  bool SaveState(Report& report);
  std::string SyncDatPath() const;

 private:
  std::string StatePath() const;
  std::string JournalPath() const;
  bool NewToken(std::string& token);

  bool m_loaded = false;
  std::string m_machine;
  std::string m_boundFolder;
  std::vector<std::string> m_sessions;
  std::string m_session;  // this run's, once it wrote
  bool m_sessionLogged = false;
  Stamp m_clock;
  State m_state;
  std::map<std::string, FilePosition> m_positions;
  std::uint64_t m_journalSize = 0;
  std::uint64_t m_snapshotSize = 0;
  bool m_republish = false;
  bool m_stateDirty = false;
};

}  // namespace Sync
