#pragma once
// The docked panel "Messages Sources": an option bar of collapsible groups whose first group holds
// the message tree tvMessages; the other groups carry keyed items that repeat some main-menu
// commands. The handlers are PanelActions'; this window only wires them to its controls.
//
// A source's messages are read when it is unfolded; until then its unread count comes from the
// counts cache (UnreadCounts). The counts, the search index and the saved searches' rules are the
// application's (ReaderServices): the panel shows what they know and follows their signals.

#include "core/TreeControl.h"

#include <QWidget>

#include <memory>
#include <string>

namespace Archive {
class SearchIndex;
}
namespace mInbox {
class UnreadCounts;
}
class IDocumentHost;
class QMenu;
class QToolButton;
class QTreeView;
class ReaderServices;
class SavedSearchList;
class SearchPane;
class TreeModel;

class frmOptions : public QWidget {
  Q_OBJECT

 public:
  // The host shows the messages that the tree opens; the services outlive the panel.
  frmOptions(IDocumentHost& host, ReaderServices& services, QWidget* parent = nullptr);
  ~frmOptions() override;

  TreeControl& Tree() { return m_tree; }
  TreeModel& Model() { return *m_model; }
  QTreeView* TreeView() const { return tvMessages; }
  SearchPane* Search() const { return ucSearch; }
  // The main window's message popup, opened by a right click on a message.
  void SetPopupMenu(QMenu* menu) { m_popup = menu; }
  // A source's popup, opened by a right click on a source.
  void SetSourcePopupMenu(QMenu* menu) { m_sourcePopup = menu; }
  // The option bar's item of that key ("opt_settings", "help_file", ...), or nullptr.
  QToolButton* OptionItem(const QString& key) const;
  mInbox::UnreadCounts& Counts();
  // Null when the index could not be opened (the search field says why).
  Archive::SearchIndex* Index() const;
  SavedSearchList* SavedSearches() const { return tvSearches; }
  // Ctrl+F: the panel comes up with the focus in the search field.
  void FocusSearch();
  // A merge changed the subscriptions: every source node comes back fresh.
  void ReloadSources();
  // A merge changed a source's messages: its node shows them as they are now.
  void ReloadSource(const std::string& sourceId);
  // A merge changed the saved searches.
  void ReloadSearches();

 signals:
  // The option bar's "Settings" and "Scheduler" items: their dialogs belong to the main window.
  void SettingsRequested();
  void SchedulerRequested();

 private:
  // The counts as the tree shows them, and the searches as the index finds them.
  void FollowServices();
  void IndexChanged();
  void BuildOptionBar();
  void CreateConnections();
  void ucOptionbar_ItemClick(const QString& key);
  void tvMessages_OpenPopup(int x, int y);
  void OpenPopup(QMenu* menu, int x, int y);

 protected:
  // The menu key opens the selected node's popup, as a right click on it would.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  IDocumentHost& m_host;
  ReaderServices& m_services;
  TreeControl m_tree{"tvMessages"};
  std::unique_ptr<TreeModel> m_model;
  QWidget* ucOptionbar = nullptr;
  QWidget* picMsgContainer = nullptr;
  QTreeView* tvMessages = nullptr;
  SearchPane* ucSearch = nullptr;
  SavedSearchList* tvSearches = nullptr;
  bool m_refocusAfterRun = false;
  QList<QToolButton*> m_items;
  QMenu* m_popup = nullptr;
  QMenu* m_sourcePopup = nullptr;
};
