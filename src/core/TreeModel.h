#pragma once
// Shows a TreeControl in a Qt item view. The model follows the control's change notifications:
// adds and removes become row inserts and removes, a re-sort of one top-level node a row move,
// switching sorting on a layout change, a clear or a BeginUpdate/EndUpdate batch a reset. While a
// batch is under way the model shows nothing, so a view that paints meanwhile never touches a
// node that the batch removes.
//
// AttachView binds a QTreeView both ways: the control's expanded and selected state, its enabled
// state, label editing (started by the control, committed through setData, backed out with
// Escape), and the view's double clicks, key presses and releases and mouse releases raised as the
// control's events.
//
// Reloads replace nodes, so the model remembers by key which nodes were expanded and which one
// was selected (a keyless node by its parent's key and its tag) and gives that state back to the
// new nodes when a batch or a clear ends; a selected node that is gone then hands its selection
// to its parent. Only the user's choices and the control's own changes count, never a reload's.
//
// A node whose children come on demand shows as foldable; the view's unfolding (mouse, Right, +,
// *) reads them through the control (canFetchMore/fetchMore), and a remembered selection inside
// such a node has them read.

#include "core/TreeControl.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>
#include <QModelIndexList>
#include <QPointer>

#include <functional>
#include <optional>
#include <set>
#include <string>

class QTreeView;

class TreeModel : public QAbstractItemModel, private TreeControl::Observer {
  Q_OBJECT

 public:
  enum Role { KeyRole = Qt::UserRole + 1, TagRole, ImageRole };

  explicit TreeModel(TreeControl& tree, QObject* parent = nullptr);
  ~TreeModel() override;

  // The control shown; nullptr once it has been destroyed.
  TreeControl* Tree() const { return m_tree; }

  // Icons by image number (index 0 is image 0); numbers outside the list show no icon.
  void SetImageList(QList<QIcon> images);
  // The message tree's look: a source shows its number of unread messages after its title, e.g.
  // "Kitchen Notes (2)" (only in the display; the node's text and the edited label stay the
  // title), and a message is bold exactly when its image is the unread one.
  void ShowUnreadCounts();
  // What a source whose messages have not been read holds, from elsewhere (a counts cache): no
  // value while it is not known, and the title shows alone. Sources whose messages are read count
  // their message nodes.
  struct SourceCounts {
    int unread = 0;
    int total = 0;
  };
  void SetCountLookup(std::function<std::optional<SourceCounts>(const TreeControl::Node&)> lookup);
  // The lookup's answer for the node of this key changed.
  void CountChanged(const std::string& key);

  TreeControl::Node* NodeFromIndex(const QModelIndex& index) const;
  QModelIndex IndexFromNode(const TreeControl::Node* node) const;

  // Shows the model in the view and binds the two as described above. Editing is left to the
  // control (the view's own edit triggers are switched off). One view per model.
  void AttachView(QTreeView* view);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The control started editing this node's label.
  void LabelEditRequested(const QModelIndex& index);
  // The control ended the edit (for example because it was disabled); an open editor must close.
  void LabelEditFinished(const QModelIndex& index);
  void ExpandRequested(const QModelIndex& index, bool expanded);
  // The control's selected node; an invalid index means none.
  void SelectionRequested(const QModelIndex& index);
  void ControlEnabledChanged(bool enabled);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void NodeAboutToBeAdded(TreeControl::Node* parent, std::size_t row) override;
  void NodeAdded(TreeControl::Node* node) override;
  void ChildrenAboutToBeAdded(TreeControl::Node* parent, std::size_t first,
                              std::size_t last) override;
  void ChildrenAdded(TreeControl::Node* parent, std::size_t first, std::size_t last) override;
  void ChildrenAboutToBeRemoved(TreeControl::Node* parent) override;
  void ChildrenRemoved(TreeControl::Node* parent) override;
  void NodeAboutToBeRemoved(TreeControl::Node* node) override;
  void NodeRemoved() override;
  void NodeAboutToMove(TreeControl::Node* node, std::size_t toRow) override;
  void NodeMoved(TreeControl::Node* node) override;
  void NodeChanged(TreeControl::Node* node, TreeControl::Change what) override;
  void OrderAboutToChange() override;
  void OrderChanged() override;
  void AboutToReset() override;
  void ResetDone() override;
  void SelectionChanged(TreeControl::Node* selected) override;
  void EnabledChanged(bool enabled) override;
  void LabelEditStarted(TreeControl::Node* node) override;
  void LabelEditEnded(TreeControl::Node* node) override;
  void TreeDestroyed() override;

  void EmitAllChanged(const QList<int>& roles);
  void ReplayViewState();
  void RestoreRemembered();
  void ShowSelection(TreeControl::Node* node);
  void EmitCountChanged(TreeControl::Node* source);
  int UnreadCount(const TreeControl::Node& source) const;

  TreeControl* m_tree;
  QList<QIcon> m_images;
  bool m_frozen = false;  // a batch is under way: the model shows nothing
  int m_structural = 0;   // inside a row insert, remove, move or layout change
  bool m_inSetData = false;
  bool m_showingSelection = false;  // the control's selection is being shown in the view
  bool m_viewEndsEdit = false;  // the view's editor ends the edit and closes by itself
  TreeControl::Node* m_shownSelected = nullptr;
  bool m_unreadCounts = false;
  std::function<std::optional<SourceCounts>(const TreeControl::Node&)> m_countLookup;
  TreeControl::Node* m_removingFrom = nullptr;  // the parent of the node being removed
  // What the user chose, by key, across reloads that replace the nodes.
  std::set<std::string> m_expandedKeys;
  struct Remembered {
    std::string key, parentKey, tag;
  } m_selectedNode;
  QModelIndexList m_layoutOld;
  QList<TreeControl::Node*> m_layoutNodes;
  bool m_attached = false;
  QPointer<QTreeView> m_view;
  // The same view and its viewport as plain widgets: the event filter still runs while the view
  // is being destroyed, when it is no longer a QTreeView.
  QPointer<QWidget> m_viewWidget;
  QPointer<QWidget> m_viewport;
};
