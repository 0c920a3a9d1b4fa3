#pragma once
// The reader's side of sync between machines: the engine for the run (Sync::Engine), and when it
// merges: at the start, before and after every check, when the sync folder changes (a file
// watcher, debounced), every 30 s for shares whose changes no watcher sees, for `quillpost
// --sync` beside the reader, and when Preferences sets a folder. What a merge changed shows in
// the message tree (sources reloaded, changed inboxes read again); the counts and the search list
// follow the inbox store's news themselves. Lines about skipped files go to the debug output.

#include "shell/ForwardedCheck.h"
#include "sync/SyncEngine.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <string>

class TreeControl;

class SyncKeeper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDebounceMs = 300;
  static constexpr int kLookMs = 30'000;

  SyncKeeper(TreeControl& tree, QObject* parent = nullptr);
  ~SyncKeeper() override;

  // Once the reader holds the data folder: sync resumes where it is on.
  void Start();
  // Preferences' "Sync folder" (empty turns sync off): the refusal's text, or empty.
  std::string SetFolder(const std::string& folder);
  std::string Folder() const { return m_engine.IsOn() ? m_engine.Folder() : std::string(); }
  // One merge now, its changes shown; for `quillpost --sync` beside the reader.
  ForwardedCheck::Reply MergeForCommand();

 signals:
  // A merge changed the saved searches (a list of them follows).
  void SearchesChanged();

 private:
  Sync::Report Merge();
  void Follow(const Sync::Report& report);
  void Watch();
  void Changed(const QString& path);
  void MergeWhenFree();

  TreeControl& m_tree;
  Sync::Engine m_engine;
  QFileSystemWatcher m_watcher;
  QTimer m_debounce;
  QTimer m_look;
  bool m_merging = false;
};
