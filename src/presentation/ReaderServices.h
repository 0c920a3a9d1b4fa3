#pragma once
// What the reader keeps for its whole run, made once at start before any window and outliving
// them all: the search index, the unread counts and the saved searches' rules for arriving
// messages, with the subscribed sources they serve (SourceRoster). They follow the stores' news
// (messages stored, read, deleted; sources added, renamed, relinked, removed), never a window's
// rows; windows are handed them and follow their signals. Counting, looking at stamps and
// indexing run on the workers of the counts and the index; what those tell arrives here on this
// object's thread.

#include "presentation/SourceRoster.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

namespace Archive {
class SearchIndex;
class SearchRules;
}  // namespace Archive
namespace mInbox {
class UnreadCounts;
}
class QTimer;

class ReaderServices : public QObject {
  Q_OBJECT

 public:
  // Opens the index and the counts cache of the current data folder.
  explicit ReaderServices(QObject* parent = nullptr);
  // Saves the counts and writes the changes the index was told before they go.
  ~ReaderServices() override;

  // Reads the subscribed sources once and hands them to the counts and the index: a count whose
  // cache line still holds and a source whose index is current cost nothing more.
  void Start();
  // Reads the subscription file again (after a merge, which may change it behind the news).
  void ReloadSources();

  mInbox::UnreadCounts& Counts() { return *m_counts; }
  // Null when the index could not be opened; IndexTrouble says why.
  Archive::SearchIndex* Index() const { return m_index.get(); }
  const QString& IndexTrouble() const { return m_indexTrouble; }
  const SourceRoster& Sources() const { return m_roster; }

 signals:
  // A source's count changed or became known.
  void CountChanged(const QString& sourceId);
  // What searches find may have changed; several changes within a moment tell once.
  void IndexChanged();

 private:
  void StartCounts();
  void StartIndex();
  void TakeCounts();
  void FollowSources(const SourceRoster::Change& change);

  SourceRoster m_roster;
  std::unique_ptr<mInbox::UnreadCounts> m_counts;
  std::atomic<bool> m_countsWoken{false};
  QTimer* m_saveCounts = nullptr;
  std::unique_ptr<Archive::SearchIndex> m_index;
  QString m_indexTrouble;
  QTimer* m_indexChanged = nullptr;
  std::unique_ptr<Archive::SearchRules> m_rules;
};
