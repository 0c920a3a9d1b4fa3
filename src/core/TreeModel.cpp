#include "core/TreeModel.h"

#include <QAbstractItemDelegate>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeView>

#include <utility>

namespace {

using Node = TreeControl::Node;

int ShiftState(Qt::KeyboardModifiers modifiers) {
  int shift = 0;
  if (modifiers & Qt::ShiftModifier) shift |= TreeControl::ShiftMask;
  if (modifiers & Qt::ControlModifier) shift |= TreeControl::CtrlMask;
  if (modifiers & Qt::AltModifier) shift |= TreeControl::AltMask;
  return shift;
}

// The handlers were written against the desktop's virtual key codes; 0 for keys they never see.
int VirtualKeyCode(int qtKey) {
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
    return qtKey;
  switch (qtKey) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    default:
      return 0;
  }
}

int ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return TreeControl::ButtonLeft;
    case Qt::RightButton:
      return TreeControl::ButtonRight;
    case Qt::MiddleButton:
      return TreeControl::ButtonMiddle;
    default:
      return 0;
  }
}

bool IsWithin(const Node* node, const Node* root) {
  for (; node; node = node->Parent()) {
    if (node == root) return true;
  }
  return false;
}

}  // namespace

TreeModel::TreeModel(TreeControl& tree, QObject* parent)
    : QAbstractItemModel(parent), m_tree(&tree) {
  m_tree->AddObserver(this);
  m_shownSelected = m_tree->SelectedItem();
}

TreeModel::~TreeModel() {
  if (m_tree) {
    m_tree->RemoveObserver(this);
    if (m_attached) m_tree->SetHitTest(nullptr);
  }
}

void TreeModel::SetImageList(QList<QIcon> images) {
  m_images = std::move(images);
  EmitAllChanged({Qt::DecorationRole});
}

void TreeModel::ShowUnreadCounts() {
  m_unreadCounts = true;
  EmitAllChanged({Qt::DisplayRole, Qt::FontRole});
}

void TreeModel::SetCountLookup(std::function<std::optional<SourceCounts>(const Node&)> lookup) {
  m_countLookup = std::move(lookup);
  EmitAllChanged({Qt::DisplayRole});
}

void TreeModel::CountChanged(const std::string& key) {
  if (!m_tree) return;
  Node* node = m_tree->Find(key);
  if (node && node->IsTopLevel()) EmitCountChanged(node);
}

int TreeModel::UnreadCount(const Node& source) const {
  if (source.ChildrenPending()) {
    const std::optional<SourceCounts> counts = m_countLookup ? m_countLookup(source) : std::nullopt;
    return counts ? counts->unread : 0;
  }
  int count = 0;
  for (std::size_t row = 0; row < source.ChildCount(); ++row)
    count += source.Child(row)->Image() == MessageTreeImage::Unread ? 1 : 0;
  return count;
}

void TreeModel::EmitCountChanged(Node* source) {
  if (!m_unreadCounts || !source || !source->IsTopLevel()) return;
  const QModelIndex idx = IndexFromNode(source);
  emit dataChanged(idx, idx, {Qt::DisplayRole, Qt::AccessibleTextRole});
}

Node* TreeModel::NodeFromIndex(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this || m_frozen || !m_tree) return nullptr;
  return static_cast<Node*>(index.internalPointer());
}

QModelIndex TreeModel::IndexFromNode(const Node* node) const {
  if (!node || m_frozen || !m_tree || &node->Tree() != m_tree) return {};
  return createIndex(static_cast<int>(node->Row()), 0, const_cast<Node*>(node));
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0 || m_frozen || !m_tree) return {};
  const Node* parentNode = NodeFromIndex(parent);
  if (parent.isValid() && !parentNode) return {};
  const auto r = static_cast<std::size_t>(row);
  Node* child = parentNode ? parentNode->Child(r) : m_tree->TopLevelAt(r);
  return child ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex& child) const {
  const Node* node = NodeFromIndex(child);
  return node ? IndexFromNode(node->Parent()) : QModelIndex();
}

int TreeModel::rowCount(const QModelIndex& parent) const {
  if (m_frozen || !m_tree) return 0;
  if (!parent.isValid()) return static_cast<int>(m_tree->TopLevelCount());
  if (parent.column() != 0) return 0;
  const Node* node = NodeFromIndex(parent);
  return node ? static_cast<int>(node->ChildCount()) : 0;
}

int TreeModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() && parent.column() != 0 ? 0 : 1;
}

bool TreeModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = NodeFromIndex(parent);
  if (node && node->ChildrenPending()) {
    // Foldable unless it is known to hold nothing.
    const std::optional<SourceCounts> counts = m_countLookup ? m_countLookup(*node) : std::nullopt;
    return !counts || counts->total > 0;
  }
  return rowCount(parent) > 0;
}

bool TreeModel::canFetchMore(const QModelIndex& parent) const {
  const Node* node = NodeFromIndex(parent);
  return node && node->ChildrenPending() && m_tree->HasChildLoader();
}

// A view asks while it lays its rows out, which is no time to insert rows: the children come
// right after. An unfolded node has them read at once anyway (expanded, SetExpanded).
void TreeModel::fetchMore(const QModelIndex& parent) {
  if (!NodeFromIndex(parent)) return;
  const QPersistentModelIndex later(parent);
  QMetaObject::invokeMethod(
      this,
      [this, later] {
        if (Node* node = NodeFromIndex(later)) m_tree->FetchChildren(node);
      },
      Qt::QueuedConnection);
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
  const Node* node = NodeFromIndex(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
      if (m_unreadCounts && node->IsTopLevel()) {
        if (const int unread = UnreadCount(*node); unread > 0)
          return QStringLiteral("%1 (%2)").arg(QString::fromStdString(node->Text())).arg(unread);
      }
      return QString::fromStdString(node->Text());
    case Qt::EditRole:
    case Qt::ToolTipRole:
      return QString::fromStdString(node->Text());
    case Qt::AccessibleTextRole: {
      // What a screen reader says of the row: the text and what the eye takes from its look.
      QString text = QString::fromStdString(node->Text());
      if (!m_unreadCounts) return text;
      if (node->IsTopLevel()) {
        if (const int unread = UnreadCount(*node); unread > 0)
          text += QStringLiteral(", %1 unread").arg(unread);
        return text;
      }
      if (node->Image() == MessageTreeImage::Unread) text += QStringLiteral(", unread");
      if (!node->Detail().empty()) text += QStringLiteral(", ") + QString::fromStdString(node->Detail());
      return text;
    }
    case Qt::DecorationRole: {
      const int image = node->Selected() ? node->SelectedImage() : node->Image();
      if (image >= 0 && image < m_images.size()) return m_images[image];
      return {};
    }
    case Qt::FontRole:
      // However a message's flag changed, its weight follows its image.
      if (m_unreadCounts && !node->IsTopLevel() ? node->Image() == MessageTreeImage::Unread
                                                 : node->Bold()) {
        QFont font;
        font.setBold(true);
        return font;
      }
      return {};
    case KeyRole:
      return QString::fromStdString(node->Key());
    case TagRole:
      return QString::fromStdString(node->Tag());
    case ImageRole:
      return node->Image();
    default:
      return {};
  }
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  Node* node = NodeFromIndex(index);
  if (!node || role != Qt::EditRole) return false;
  // An edit the view started by itself still goes through the control's start and end.
  if (m_tree->EditingNode() != node) {
    m_inSetData = true;
    const bool started = m_tree->StartLabelEdit(node);
    m_inSetData = false;
    if (!started) return false;
  }
  // The committing editor closes by itself.
  m_viewEndsEdit = true;
  const bool taken = m_tree->EndLabelEdit(value.toString().toStdString(), false);
  m_viewEndsEdit = false;
  return taken;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
  const Node* node = NodeFromIndex(index);
  if (!node) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsSelectable;
  if (m_tree->Enabled()) flags |= Qt::ItemIsEnabled;
  if (m_tree->CanEditLabel(node)) flags |= Qt::ItemIsEditable;
  return flags;
}

void TreeModel::EmitAllChanged(const QList<int>& roles) {
  if (m_frozen || !m_tree || m_tree->TopLevelCount() == 0) return;
  const int top = static_cast<int>(m_tree->TopLevelCount());
  emit dataChanged(index(0, 0), index(top - 1, 0), roles);
  std::vector<Node*> pending = m_tree->TopLevelNodes();
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    const std::size_t count = node->ChildCount();
    if (count == 0) continue;
    emit dataChanged(IndexFromNode(node->Child(0)), IndexFromNode(node->Child(count - 1)), roles);
    for (std::size_t row = 0; row < count; ++row) {
      if (node->Child(row)->ChildCount() > 0) pending.push_back(node->Child(row));
    }
  }
}

void TreeModel::NodeAboutToBeAdded(Node* parent, std::size_t row) {
  ++m_structural;
  const int r = static_cast<int>(row);
  beginInsertRows(IndexFromNode(parent), r, r);
}

void TreeModel::NodeAdded(Node* node) {
  endInsertRows();
  --m_structural;
  EmitCountChanged(node->Parent());
}

void TreeModel::ChildrenAboutToBeAdded(Node* parent, std::size_t first, std::size_t last) {
  ++m_structural;
  beginInsertRows(IndexFromNode(parent), static_cast<int>(first), static_cast<int>(last));
}

void TreeModel::ChildrenAdded(Node* parent, std::size_t, std::size_t) {
  endInsertRows();
  --m_structural;
  EmitCountChanged(parent);
}

void TreeModel::ChildrenAboutToBeRemoved(Node* parent) {
  ++m_structural;
  if (m_shownSelected && m_shownSelected != parent && IsWithin(m_shownSelected, parent))
    m_shownSelected = nullptr;
  beginRemoveRows(IndexFromNode(parent), 0, static_cast<int>(parent->ChildCount()) - 1);
}

void TreeModel::ChildrenRemoved(Node* parent) {
  endRemoveRows();
  --m_structural;
  EmitCountChanged(parent);
}

void TreeModel::NodeAboutToBeRemoved(Node* node) {
  ++m_structural;
  if (IsWithin(m_shownSelected, node)) m_shownSelected = nullptr;
  m_removingFrom = node->Parent();
  const int r = static_cast<int>(node->Row());
  beginRemoveRows(IndexFromNode(node->Parent()), r, r);
}

void TreeModel::NodeRemoved() {
  endRemoveRows();
  --m_structural;
  EmitCountChanged(std::exchange(m_removingFrom, nullptr));
}

void TreeModel::NodeAboutToMove(Node* node, std::size_t toRow) {
  ++m_structural;
  const int from = static_cast<int>(node->Row());
  const int to = static_cast<int>(toRow);
  // Qt counts the destination before the row leaves its place.
  beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
}

void TreeModel::NodeMoved(Node*) {
  endMoveRows();
  --m_structural;
}

void TreeModel::NodeChanged(Node* node, TreeControl::Change what) {
  const QModelIndex idx = IndexFromNode(node);
  switch (what) {
    case TreeControl::Change::Text:
      emit dataChanged(idx, idx,
                       {Qt::DisplayRole, Qt::EditRole, Qt::ToolTipRole, Qt::AccessibleTextRole});
      break;
    case TreeControl::Change::Tag:
      emit dataChanged(idx, idx, {TagRole});
      break;
    case TreeControl::Change::Image:
      emit dataChanged(idx, idx,
                       {Qt::DecorationRole, ImageRole, Qt::FontRole, Qt::AccessibleTextRole});
      EmitCountChanged(node->Parent());
      break;
    case TreeControl::Change::Bold:
      emit dataChanged(idx, idx, {Qt::FontRole});
      break;
    case TreeControl::Change::Expanded:
      if (!node->Key().empty()) {
        if (node->Expanded()) {
          m_expandedKeys.insert(node->Key());
        } else {
          m_expandedKeys.erase(node->Key());
        }
      }
      emit ExpandRequested(idx, node->Expanded());
      break;
  }
}

void TreeModel::OrderAboutToChange() {
  ++m_structural;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  m_layoutOld = persistentIndexList();
  m_layoutNodes.clear();
  for (const QModelIndex& idx : std::as_const(m_layoutOld))
    m_layoutNodes.push_back(NodeFromIndex(idx));
}

void TreeModel::OrderChanged() {
  QModelIndexList now;
  now.reserve(m_layoutOld.size());
  for (qsizetype i = 0; i < m_layoutOld.size(); ++i) {
    const Node* node = m_layoutNodes[i];
    now.push_back(node ? createIndex(static_cast<int>(node->Row()), m_layoutOld[i].column(),
                                     const_cast<Node*>(node))
                       : QModelIndex());
  }
  changePersistentIndexList(m_layoutOld, now);
  m_layoutOld.clear();
  m_layoutNodes.clear();
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  --m_structural;
}

void TreeModel::AboutToReset() {
  // Empty the model now rather than hold a reset open across the batch.
  ++m_structural;
  beginResetModel();
  m_frozen = true;
  m_shownSelected = nullptr;
  endResetModel();
  --m_structural;
}

void TreeModel::ResetDone() {
  ++m_structural;
  beginResetModel();
  m_frozen = false;
  endResetModel();
  --m_structural;
  RestoreRemembered();
  ReplayViewState();
}

void TreeModel::RestoreRemembered() {
  if (!m_tree) return;
  for (const std::string& key : std::set(m_expandedKeys)) {
    if (Node* node = m_tree->Find(key)) node->SetExpanded(true);
  }
  const Remembered wanted = m_selectedNode;
  if (m_tree->SelectedItem() || (wanted.key.empty() && wanted.parentKey.empty())) return;
  Node* node = m_tree->Find(wanted.key);
  if (Node* parent = wanted.key.empty() ? m_tree->Find(wanted.parentKey) : nullptr) {
    m_tree->FetchChildren(parent);
    for (std::size_t row = 0; row < parent->ChildCount() && !node; ++row)
      if (parent->Child(row)->Key().empty() && parent->Child(row)->Tag() == wanted.tag)
        node = parent->Child(row);
    if (!node) node = parent;
  }
  // Nothing to be found yet (a clear before the reload): the memory waits for the reload.
  if (node) m_tree->SetSelectedItem(node);
}

// After a reset the view has forgotten which nodes were expanded and which was selected.
void TreeModel::ReplayViewState() {
  if (!m_tree) return;
  for (Node* node : m_tree->NodeList()) {
    if (node->Expanded() && node->ChildCount() > 0) emit ExpandRequested(IndexFromNode(node), true);
  }
  m_shownSelected = m_tree->SelectedItem();
  if (m_shownSelected) ShowSelection(m_shownSelected);
  emit ControlEnabledChanged(m_tree->Enabled());
}

void TreeModel::SelectionChanged(Node* selected) {
  // The decoration switches between the image and the selected image.
  for (Node* node : {m_shownSelected, selected}) {
    if (!node) continue;
    const QModelIndex idx = IndexFromNode(node);
    emit dataChanged(idx, idx, {Qt::DecorationRole});
  }
  m_shownSelected = selected;
  m_selectedNode = {};
  if (selected) {
    m_selectedNode.key = selected->Key();
    if (selected->Key().empty() && selected->Parent()) {
      m_selectedNode.parentKey = selected->Parent()->Key();
      m_selectedNode.tag = selected->Tag();
    }
  }
  ShowSelection(selected);
}

// While the control is disabled its rows cannot be selected in the view: the view then reports an
// empty selection, which is no choice of the user's.
void TreeModel::ShowSelection(Node* node) {
  const bool before = std::exchange(m_showingSelection, true);
  emit SelectionRequested(IndexFromNode(node));
  m_showingSelection = before;
}

void TreeModel::EnabledChanged(bool enabled) {
  EmitAllChanged({});
  emit ControlEnabledChanged(enabled);
}

void TreeModel::LabelEditStarted(Node* node) {
  if (!m_inSetData) emit LabelEditRequested(IndexFromNode(node));
}

void TreeModel::LabelEditEnded(Node* node) {
  if (!m_viewEndsEdit) emit LabelEditFinished(IndexFromNode(node));
}

void TreeModel::TreeDestroyed() {
  beginResetModel();
  m_tree = nullptr;
  m_shownSelected = nullptr;
  endResetModel();
}

void TreeModel::AttachView(QTreeView* view) {
  if (!view || !m_tree || m_attached) return;
  m_attached = true;
  m_view = view;
  m_viewWidget = view;
  m_viewport = view->viewport();
  view->setModel(this);
  view->setHeaderHidden(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setEnabled(m_tree->Enabled());
  view->installEventFilter(this);
  view->viewport()->installEventFilter(this);

  m_tree->SetHitTest([this](int x, int y) -> Node* {
    return m_view ? NodeFromIndex(m_view->indexAt(QPoint(x, y))) : nullptr;
  });

  connect(view, &QTreeView::expanded, this, [this](const QModelIndex& idx) {
    if (Node* node = NodeFromIndex(idx)) node->SetExpanded(true);
  });
  connect(view, &QTreeView::collapsed, this, [this](const QModelIndex& idx) {
    if (Node* node = NodeFromIndex(idx)) node->SetExpanded(false);
  });
  // While rows move or go, the selection model picks a new current row by itself; the control
  // decides its own selection then. A current row that is not selected (the view makes the first
  // row current when it gets the focus) is no choice of the user's.
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, view] {
    if (m_structural > 0 || m_frozen || m_showingSelection || !m_tree) return;
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    // A click on the free space below the rows empties the view's selection: no choice either,
    // the control keeps its node and the view shows it again.
    if (selected.isEmpty()) {
      if (Node* kept = m_tree->SelectedItem()) ShowSelection(kept);
      return;
    }
    m_tree->SetSelectedItem(NodeFromIndex(selected.first()));
  });
  // The delegate closes an editor without committing when the user backs out.
  connect(view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
    if (!m_tree || !m_tree->EditingNode()) return;
    m_viewEndsEdit = true;
    m_tree->EndLabelEdit({}, true);
    m_viewEndsEdit = false;
  });

  connect(this, &TreeModel::ExpandRequested, view,
          [view](const QModelIndex& idx, bool expanded) { view->setExpanded(idx, expanded); });
  connect(this, &TreeModel::SelectionRequested, view, [view](const QModelIndex& idx) {
    if (idx.isValid()) {
      view->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
    } else {
      view->selectionModel()->clear();
    }
  });
  connect(this, &TreeModel::LabelEditRequested, view, [view](const QModelIndex& idx) {
    view->scrollTo(idx);
    view->edit(idx);
  });
  connect(this, &TreeModel::LabelEditFinished, view, [view](const QModelIndex& idx) {
    if (QWidget* editor = view->indexWidget(idx)) {
      QMetaObject::invokeMethod(
          view, "closeEditor", Q_ARG(QWidget*, editor),
          Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    }
  });
  connect(this, &TreeModel::ControlEnabledChanged, view, &QWidget::setEnabled);

  ReplayViewState();
}

// The control's events run after the view has handled the input (selection on press, expansion
// on double click), and outside the view's event handler, since a handler may wait in a loop.
bool TreeModel::eventFilter(QObject* watched, QEvent* event) {
  if (!m_viewWidget || !m_tree) return false;
  const QPointer<TreeModel> self(this);
  const auto later = [self](auto raise) {
    QMetaObject::invokeMethod(
        self.data(),
        [self, raise] {
          if (self && self->m_tree) raise(*self->m_tree);
        },
        Qt::QueuedConnection);
  };
  if (watched == m_viewport.data()) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      later([](TreeControl& tree) { tree.RaiseDblClick(); });
    } else if (event->type() == QEvent::MouseButtonRelease) {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const int button = ButtonCode(mouse->button());
      const int shift = ShiftState(mouse->modifiers());
      const QPoint at = mouse->position().toPoint();
      if (button != 0) {
        later([=](TreeControl& tree) { tree.RaiseMouseUp(button, shift, at.x(), at.y()); });
      }
    }
  } else if (watched == m_viewWidget.data() &&
             (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const int code = VirtualKeyCode(key->key());
    const int shift = ShiftState(key->modifiers());
    // A key an open label editor passed on (its Return, which ends the edit) is the editor's.
    if (key->isAutoRepeat() || code == 0 || m_tree->EditingNode()) return false;
    if (event->type() == QEvent::KeyPress) {
      later([=](TreeControl& tree) { tree.RaiseKeyDown(code, shift); });
    } else {
      later([=](TreeControl& tree) { tree.RaiseKeyUp(code, shift); });
    }
  }
  return false;
}
