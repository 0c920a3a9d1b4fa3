#include "shell/SyncKeeper.h"

#include "retrieval/CheckRun.h"
#include "shell/CheckServer.h"
#include "sync/SyncFiles.h"

#include <QDir>

SyncKeeper::SyncKeeper(QObject* parent) : QObject(parent) {
  m_debounce.setSingleShot(true);
  m_debounce.setInterval(kDebounceMs);
  connect(&m_debounce, &QTimer::timeout, this, &SyncKeeper::MergeWhenFree);
  connect(&m_look, &QTimer::timeout, this, &SyncKeeper::MergeWhenFree);
  connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SyncKeeper::Changed);
  connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &SyncKeeper::Changed);
  const auto merge = [this](TreeControl&) {
    if (m_engine.IsOn() && !m_merging) Follow(Merge());
  };
  mAppFunctions::BeforeRun = merge;
  mAppFunctions::AfterRun = merge;
}

SyncKeeper::~SyncKeeper() {
  mAppFunctions::BeforeRun = nullptr;
  mAppFunctions::AfterRun = nullptr;
}

void SyncKeeper::Start() {
  Follow(m_engine.Start());
  Watch();
}

std::string SyncKeeper::SetFolder(const std::string& folder) {
  Sync::Engine::Setting setting = m_engine.SetFolder(folder);
  if (setting.refusal.empty()) Follow(setting.report);
  Watch();
  return setting.refusal;
}

ForwardedCheck::Reply SyncKeeper::MergeForCommand() {
  const Sync::Report report = Merge();
  Follow(report);
  return ForwardedCheck::SyncReply(report);
}

Sync::Report SyncKeeper::Merge() {
  m_merging = true;
  Sync::Report report = m_engine.Merge();
  m_merging = false;
  return report;
}

void SyncKeeper::Follow(const Sync::Report& report) {
  for (const std::string& line : report.lines) qDebug("Quillpost: %s", line.c_str());
  if (report.subscriptionsChanged) {
    emit SourcesChanged();
  } else {
    for (const std::string& id : report.inboxesChanged)
      emit InboxChanged(QString::fromStdString(id));
  }
  if (report.searchesChanged) emit SearchesChanged();
  // Files that appeared since (a new machine's) are watched too.
  Watch();
}

void SyncKeeper::Watch() {
  const QStringList watched = m_watcher.files() + m_watcher.directories();
  if (!watched.isEmpty()) m_watcher.removePaths(watched);
  if (!m_engine.IsOn()) {
    m_look.stop();
    return;
  }
  if (!m_look.isActive()) m_look.start(kLookMs);
  const QString folder = QString::fromStdString(m_engine.Folder());
  m_watcher.addPath(folder);
  // Appends to another machine's log change no directory entry.
  QStringList files;
  for (const QString& name : QDir(folder).entryList(QDir::Files)) {
    const std::optional<Sync::FileName> what = Sync::ClassifyName(name.toStdString());
    if (what && what->machine != m_engine.Machine()) files << QDir(folder).filePath(name);
  }
  if (!files.isEmpty()) m_watcher.addPaths(files);
}

void SyncKeeper::Changed(const QString& path) {
  if (m_engine.Concerns(path.toStdString())) m_debounce.start();
}

void SyncKeeper::MergeWhenFree() {
  if (!m_engine.IsOn() || m_merging) return;
  // Not in the middle of a run (it merges when it ends) or of a dialog's work; soon after.
  if (mAppFunctions::CheckRunning || !ReaderIsFree()) {
    m_debounce.start();
    return;
  }
  Follow(Merge());
}
