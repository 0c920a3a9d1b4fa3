#pragma once
// The reader's side of sync between machines, a service of the application: the engine for the
// run (Sync::Engine), and when it merges: at the start, before and after every check, when the
// sync folder changes (a file watcher, debounced), every 30 s for shares whose changes no watcher
// sees, for `quillpost --sync` beside the reader, and when Preferences sets a folder. What a
// merge changed it tells through its signals, which the windows follow; the counts and the index
// follow the stores' news themselves. Lines about skipped files go to the debug output.

#include "shell/ForwardedCheck.h"
#include "sync/SyncEngine.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <string>

class SyncKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDebounceMs = 300;
  static constexpr int kLookMs = 30'000;

  explicit SyncKeeper(QObject* parent = nullptr);
  ~SyncKeeper() override;

  // Once the windows follow the signals: sync resumes where it is on.
  void Start();
  // Preferences' "Sync folder" (empty turns sync off): the refusal's text, or empty.
  std::string SetFolder(const std::string& folder);
  std::string Folder() const { return m_engine.IsOn() ? m_engine.Folder() : std::string(); }
  // One merge now, its changes shown; for `quillpost --sync` beside the reader.
  ForwardedCheck::Reply MergeForCommand();

 signals:
  // A merge added, renamed or removed sources: every source shown comes back fresh.
  void SourcesChanged();
  // Otherwise, for each source whose messages a merge changed.
  void InboxChanged(const QString& sourceId);
  // A merge changed the saved searches.
  void SearchesChanged();

 private:
  Sync::Report Merge();
  void Follow(const Sync::Report& report);
  void Watch();
  void Changed(const QString& path);
  void MergeWhenFree();

  Sync::Engine m_engine;
  QFileSystemWatcher m_watcher;
  QTimer m_debounce;
  QTimer m_look;
  bool m_merging = false;
};
