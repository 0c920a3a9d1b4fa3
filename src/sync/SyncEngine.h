#pragma once
// Sync between machines through a folder that a file sync engine keeps in step. Each data folder
// is one replica with an identity of its own. What the user does (read and unread marks,
// deletions, subscribing, renaming and unsubscribing sources, saved searches, "read up to now")
// is appended to this replica's log in the folder at once; from time to time the whole merged
// state replaces it as this replica's snapshot. A merge reads the other replicas' files, folds
// them into the merged state (SyncState.h) and applies what changed to this data folder: marks
// and deletions to the inboxes (one batch per inbox), sources through the subscription store by
// ID and the checks the user's input gets, saved searches through their store.
// A mark for a message not stored here yet waits, and is applied the moment it arrives (for 30
// days). What the merge applies is never logged again as this replica's own action.
//
// The parts: the actions and their clock (SyncActions.h), the files' text (SyncFiles.h), the
// merged state (SyncState.h), what it means for this data folder (SyncDecisions.h), this data
// folder's own sync files (SyncReplica.h) and the stores that apply it (SyncDataFolder.h).
//
// The shell's part: create one Engine for the run after the data folder is set (it registers with
// the inbox store and the subscription file itself); call Start() once; call Merge() before and
// after every check, when a watched file of the folder Concerns() it (debounced), every 30 s and
// for `quillpost --sync`; follow a Report's changes in the tree; SetFolder() from Preferences.

#include "archive/SavedSearches.h"
#include "inbox/InboxEvents.h"
#include "subscriptions/SubscriptionEvents.h"
#include "sync/SyncDataFolder.h"
#include "sync/SyncFiles.h"
#include "sync/SyncReplica.h"
#include "sync/SyncReport.h"
#include "sync/SyncState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Sync {

class Engine final : public mInbox::IInboxListener,
                     public mInbox::IArrivalRules,
                     public mSubscriptions::ISubscriptionListener,
                     public Archive::ISavedSearchListener {
 public:
  explicit Engine(ISavedSearches* searches = nullptr);
  ~Engine() override;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // At the program's start: the folder of settings.cfg's section "sync"; when one is set, syncing
  // resumes (a folder this data folder has not synced with before gets a fresh snapshot first)
  // and a merge runs.
  Report Start();

  // Preferences' "Sync folder". Empty turns sync off: nothing more is read or written, the
  // files stay. Otherwise the folder is checked; a refusal comes back as its text and changes
  // nothing. Accepted, the folder is saved in settings.cfg, what this data folder holds
  // (subscriptions, read marks, saved searches) is written as a snapshot, and a merge runs.
  struct Setting {
    std::string refusal;
    Report report;
  };
  Setting SetFolder(const std::string& folder);
  static std::string FolderRefusal(const std::string& folder);

  bool IsOn() const { return m_on; }
  const std::string& Folder() const { return m_folder; }
  const std::string& Machine() const { return m_replica.Machine(); }
  // The merged state as this data folder knows it (for the debug output and the tests).
  const State& Merged() const { return m_replica.Merged(); }

  // Reads the other replicas' new files and applies them here.
  Report Merge();

  // Whether a change a file watcher saw at that path is one a merge should read: another
  // replica's file or a copy of one, or this replica's own files changed by someone else.
  bool Concerns(const std::string& path) const;

  // "Mark Source as Read" (sourceId) or "Mark All as Read" (empty): while the scope lives, the
  // read marks it makes are not logged one by one; when it ends one action is logged for all.
  class ReadUpToScope {
   public:
    ReadUpToScope() = default;  // without sync: nothing to log
    ReadUpToScope(ReadUpToScope&& other) noexcept;
    ReadUpToScope& operator=(ReadUpToScope&&) = delete;
    ~ReadUpToScope();

   private:
    friend class Engine;
    ReadUpToScope(Engine* engine, std::string sourceId);
    Engine* m_engine = nullptr;
    std::string m_sourceId;
  };
  [[nodiscard]] ReadUpToScope ReadingUpToNow(const std::string& sourceId);

  // The user kept a saved search (new, edited, or renamed: then the old name is removed first)
  // or removed one. The store's own writes come here through SearchesSaved.
  void SearchSaved(const Archive::SavedSearch& search);
  void SearchRemoved(const std::string& name);
  void SearchesSaved(const std::vector<Archive::SavedSearch>& before,
                     const std::vector<Archive::SavedSearch>& after) override;

  // The engine of this run (the one made last that still lives), or null.
  static Engine* Current();

  // The inbox store's and the subscription file's news (not for the shell).
  void Stored(const std::string& sourceId, const std::vector<mInbox::InboxItem>& items) override;
  void ReadChanged(const std::string& sourceId, const std::string& guid, bool read) override;
  void Deleted(const std::string& sourceId, const std::string& guid) override;
  void SourceRemoved(const std::string& sourceId) override;
  void Arriving(const std::string& sourceId, std::vector<mInbox::InboxItem>& items,
                std::vector<std::string>& deleted) override;
  void SourcesAdded(const std::vector<mSubscriptions::MessageSource>& sources) override;
  void SourceChanged(const mSubscriptions::MessageSource& before,
                     const mSubscriptions::MessageSource& after) override;
  void SourceRemoved(const mSubscriptions::MessageSource& source) override;

  // The log is replaced by a snapshot once this replica's log holds more bytes.
  static constexpr std::size_t kCompactBytes = std::size_t{1} << 20;
  // A mark waits this long for its message.
  static constexpr std::int64_t kWaitMs = kMarkWaitMs;

 private:
  Report TurnOn(const std::string& folder, bool fresh);
  Report Read(bool base);
  void Record(Action action);
  void RecordFor(const std::string& sourceId, Kind kind, const std::string& text);
  void Apply(const Changes& changes, Report& report);

  class ArchiveStore : public ISavedSearches {
   public:
    std::vector<Archive::SavedSearch> Load() override;
    bool Save(const std::vector<Archive::SavedSearch>& searches) override;
  };
  ArchiveStore m_store;
  ISavedSearches* m_searches;
  Replica m_replica;
  LocalSources m_sources;
  bool m_on = false;
  std::string m_folder;
  Changes m_retry;
  std::vector<std::string> m_pending;  // lines for the next report
  int m_applying = 0;
  std::vector<std::string> m_readingUpTo;  // source IDs; "" for all
};

// "Mark Source as Read" (the source's ID) and "Mark All as Read" (empty): the commands hold the
// scope while they mark the messages, which then travel as one "read up to now" action, logged
// when the scope ends. Without sync it does nothing.
[[nodiscard]] Engine::ReadUpToScope ReadingUpToNow(const std::string& sourceId);

}  // namespace Sync
