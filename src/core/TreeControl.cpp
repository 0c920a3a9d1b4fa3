#include "core/TreeControl.h"

#include "core/AsciiText.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace {

std::string SortKey(const std::string& text) { return AsciiText::Lower(text); }

}  // namespace

TreeControl::Node::Node(TreeControl* tree, Node* parent, std::string key, std::string text,
                        int image, std::optional<int> selectedImage, std::uint64_t sequence)
    : m_tree(tree),
      m_parent(parent),
      m_key(std::move(key)),
      m_text(std::move(text)),
      m_sortKey(parent ? std::string() : SortKey(m_text)),
      m_image(image),
      m_selectedImage(selectedImage),
      m_sequence(sequence) {}

TreeControl::Node::~Node() = default;

void TreeControl::Node::SetText(std::string text) {
  if (text == m_text) return;
  m_text = std::move(text);
  if (!m_parent) m_sortKey = SortKey(m_text);
  m_tree->TextChanged(this);
}

void TreeControl::Node::SetTag(std::string tag) {
  if (tag == m_tag) return;
  m_tag = std::move(tag);
  m_tree->NotifyChanged(this, Change::Tag);
}

void TreeControl::Node::SetImage(int image) {
  if (image == m_image) return;
  m_image = image;
  m_tree->NotifyChanged(this, Change::Image);
}

void TreeControl::Node::SetSelectedImage(int image) {
  if (m_selectedImage == image) return;
  m_selectedImage = image;
  m_tree->NotifyChanged(this, Change::Image);
}

void TreeControl::Node::SetBold(bool bold) {
  if (bold == m_bold) return;
  m_bold = bold;
  m_tree->NotifyChanged(this, Change::Bold);
}

void TreeControl::Node::SetExpanded(bool expanded) {
  // Read before a view is told, so that it shows them as it unfolds the node.
  if (expanded) m_tree->FetchChildren(this);
  if (expanded == m_expanded) return;
  m_expanded = expanded;
  m_tree->NotifyChanged(this, Change::Expanded);
  if (!expanded) m_tree->ReleaseChildren(this);
}

void TreeControl::Node::SetChildrenOnDemand(bool onDemand) {
  m_onDemand = onDemand;
  m_pending = onDemand && m_children.empty();
}

void TreeControl::Node::SetSelected(bool selected) {
  if (selected) {
    m_tree->SetSelectedItem(this);
  } else if (Selected()) {
    m_tree->SetSelectedItem(nullptr);
  }
}

std::size_t TreeControl::Node::Index() const {
  m_tree->CompactList();
  return m_listPos;
}

TreeControl::TreeControl(std::string name) : m_name(std::move(name)) {}

TreeControl::~TreeControl() {
  const auto observers = m_observers;
  for (Observer* observer : observers) observer->TreeDestroyed();
  m_observers.clear();
  m_selected = nullptr;
  m_editing = nullptr;
  for (auto& node : m_topLevel) Destroy(std::move(node));
}

template <typename F>
void TreeControl::Notify(F&& f) {
  if (m_updateDepth > 0) return;
  // A copy, so an observer may remove itself from within a notification.
  const auto observers = m_observers;
  for (Observer* observer : observers) f(*observer);
}

void TreeControl::AddObserver(Observer* observer) {
  if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
    m_observers.push_back(observer);
}

void TreeControl::RemoveObserver(Observer* observer) { std::erase(m_observers, observer); }

void TreeControl::SetEnabled(bool enabled) {
  if (enabled == m_enabled) return;
  m_enabled = enabled;
  // An edit cannot outlive the control's being disabled: it ends as backed out.
  if (!enabled && m_editing) EndLabelEdit({}, true);
  Notify([&](Observer& o) { o.EnabledChanged(enabled); });
}

void TreeControl::SetSorted(bool sorted) {
  if (sorted == m_sorted) return;
  m_sorted = sorted;
  if (sorted) SortTopLevel();
}

void TreeControl::SortTopLevel() {
  const auto less = [](const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) {
    if (a->m_sortKey != b->m_sortKey) return a->m_sortKey < b->m_sortKey;
    return a->m_sequence < b->m_sequence;
  };
  if (std::is_sorted(m_topLevel.begin(), m_topLevel.end(), less)) return;
  Notify([](Observer& o) { o.OrderAboutToChange(); });
  std::sort(m_topLevel.begin(), m_topLevel.end(), less);
  Renumber(m_topLevel, 0);
  Notify([](Observer& o) { o.OrderChanged(); });
}

void TreeControl::Renumber(std::vector<std::unique_ptr<Node>>& siblings, std::size_t from) {
  for (std::size_t row = from; row < siblings.size(); ++row) siblings[row]->m_row = row;
}

// The row a top-level node belongs at in the sorted order, counted as if the node at `skipRow`
// (the node itself, when it is already in the list) were not there.
std::size_t TreeControl::SortedRow(const Node* node, std::size_t skipRow) const {
  std::size_t lo = 0;
  std::size_t hi = m_topLevel.size();
  if (skipRow < m_topLevel.size()) --hi;
  const auto at = [&](std::size_t i) { return m_topLevel[i < skipRow ? i : i + 1].get(); };
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    const Node* other = at(mid);
    const bool before =
        other->m_sortKey < node->m_sortKey ||
        (other->m_sortKey == node->m_sortKey && other->m_sequence < node->m_sequence);
    if (before) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

TreeControl::Node* TreeControl::Add(const std::string& key, std::string text, int image,
                                    std::optional<int> selectedImage) {
  return AddNode(nullptr, key, std::move(text), image, selectedImage);
}

TreeControl::Node* TreeControl::AddChild(const std::string& parentKey, const std::string& key,
                                         std::string text, int image,
                                         std::optional<int> selectedImage) {
  Node* parent = Find(parentKey);
  if (!parent) return nullptr;
  return AddNode(parent, key, std::move(text), image, selectedImage);
}

TreeControl::Node* TreeControl::AddChild(Node* parent, const std::string& key, std::string text,
                                         int image, std::optional<int> selectedImage) {
  if (!parent || parent->m_tree != this) return nullptr;
  return AddNode(parent, key, std::move(text), image, selectedImage);
}

TreeControl::Node* TreeControl::AddNode(Node* parent, const std::string& key, std::string text,
                                        int image, std::optional<int> selectedImage) {
  if (!key.empty() && m_keys.contains(key)) return nullptr;
  auto owned = std::unique_ptr<Node>(
      new Node(this, parent, key, std::move(text), image, selectedImage, m_nextSequence++));
  Node* node = owned.get();

  std::size_t row;
  if (parent) {
    row = parent->m_children.size();
  } else {
    row = m_sorted ? SortedRow(node, m_topLevel.size()) : m_topLevel.size();
  }
  Notify([&](Observer& o) { o.NodeAboutToBeAdded(parent, row); });

  if (parent) {
    node->m_row = row;
    parent->m_children.push_back(std::move(owned));
  } else {
    m_topLevel.insert(m_topLevel.begin() + static_cast<std::ptrdiff_t>(row), std::move(owned));
    Renumber(m_topLevel, row);
  }
  if (!key.empty()) m_keys.emplace(key, node);
  // Positions are exact while the list has no holes; CompactList renumbers otherwise.
  node->m_listPos = m_list.size();
  m_list.push_back(node);
  ++m_count;

  Notify([&](Observer& o) { o.NodeAdded(node); });
  return node;
}

std::size_t TreeControl::AddChildren(Node* parent, std::vector<NewChild> children) {
  if (!parent || parent->m_tree != this) return 0;
  std::erase_if(children, [this](const NewChild& child) {
    return !child.key.empty() && m_keys.contains(child.key);
  });
  // Two new children of the same key: the first one wins, as with single adds.
  std::unordered_set<std::string> seen;
  std::erase_if(children, [&seen](const NewChild& child) {
    return !child.key.empty() && !seen.insert(child.key).second;
  });
  if (children.empty()) return 0;
  const std::size_t first = parent->m_children.size();
  const std::size_t last = first + children.size() - 1;
  Notify([&](Observer& o) { o.ChildrenAboutToBeAdded(parent, first, last); });
  parent->m_children.reserve(last + 1);
  m_list.reserve(m_list.size() + children.size());
  for (NewChild& child : children) {
    auto owned = std::unique_ptr<Node>(new Node(this, parent, std::move(child.key),
                                                std::move(child.text), child.image, std::nullopt,
                                                m_nextSequence++));
    Node* node = owned.get();
    node->m_tag = std::move(child.tag);
    node->m_detail = std::move(child.detail);
    node->m_bold = child.bold;
    node->m_row = parent->m_children.size();
    parent->m_children.push_back(std::move(owned));
    if (!node->m_key.empty()) m_keys.emplace(node->m_key, node);
    node->m_listPos = m_list.size();
    m_list.push_back(node);
    ++m_count;
  }
  parent->m_pending = false;
  Notify([&](Observer& o) { o.ChildrenAdded(parent, first, last); });
  return children.size();
}

bool TreeControl::FetchChildren(Node* node) {
  if (!node || node->m_tree != this || !node->m_pending || !m_childLoader) return false;
  node->m_pending = false;
  m_childLoader(*node);
  return true;
}

void TreeControl::RemoveChildren(Node* node) {
  if (!node || node->m_tree != this) return;
  if (!node->m_children.empty()) {
    Notify([&](Observer& o) { o.ChildrenAboutToBeRemoved(node); });
    Node* selectedBefore = m_selected;
    auto children = std::move(node->m_children);
    node->m_children.clear();
    for (auto& child : children) {
      Detach(child.get());
      Destroy(std::move(child));
    }
    Notify([&](Observer& o) { o.ChildrenRemoved(node); });
    if (selectedBefore && !m_selected) Notify([](Observer& o) { o.SelectionChanged(nullptr); });
  }
  node->m_pending = node->m_onDemand;
}

// A folded node whose children come on demand gives them up, unless the user's selection (or an
// edit) is among them.
void TreeControl::ReleaseChildren(Node* node) {
  if (!node->m_onDemand || !m_childLoader || node->m_children.empty() || m_updateDepth > 0) return;
  for (const Node* at : {m_selected, m_editing}) {
    for (; at; at = at->m_parent)
      if (at->m_parent == node) return;
  }
  RemoveChildren(node);
}

bool TreeControl::Remove(const std::string& key) { return Remove(Find(key)); }

bool TreeControl::Remove(Node* node) {
  if (!node || node->m_tree != this) return false;
  Notify([&](Observer& o) { o.NodeAboutToBeRemoved(node); });

  auto& siblings = node->m_parent ? node->m_parent->m_children : m_topLevel;
  const std::size_t row = node->m_row;
  std::unique_ptr<Node> owned = std::move(siblings[row]);
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
  Renumber(siblings, row);

  Node* selectedBefore = m_selected;
  Detach(node);
  Destroy(std::move(owned));

  Notify([](Observer& o) { o.NodeRemoved(); });
  if (selectedBefore && !m_selected) Notify([](Observer& o) { o.SelectionChanged(nullptr); });
  return true;
}

// Takes a subtree out of the key index, the node list, the selection and the edit. Iterative, so
// a deep tree cannot exhaust the stack.
void TreeControl::Detach(Node* root) {
  std::vector<Node*> pending{root};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    if (!node->m_key.empty()) m_keys.erase(node->m_key);
    m_list[node->m_listPos] = nullptr;
    ++m_listHoles;
    --m_count;
    if (m_selected == node) m_selected = nullptr;
    if (m_editing == node) m_editing = nullptr;
    if (m_endingEdit == node) m_endingEdit = nullptr;
    for (auto& child : node->m_children) pending.push_back(child.get());
  }
  // Many holes make later adds and walks slower than one compaction now.
  if (m_listHoles > 64 && m_listHoles * 2 > m_list.size()) CompactList();
}

// Frees a subtree without recursion.
void TreeControl::Destroy(std::unique_ptr<Node> root) {
  std::vector<std::unique_ptr<Node>> pending;
  pending.push_back(std::move(root));
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->m_children) pending.push_back(std::move(child));
    node->m_children.clear();
  }
}

void TreeControl::CompactList() const {
  if (m_listHoles == 0) return;
  std::erase(m_list, nullptr);
  for (std::size_t i = 0; i < m_list.size(); ++i) m_list[i]->m_listPos = i;
  m_listHoles = 0;
}

void TreeControl::Clear() {
  Notify([](Observer& o) { o.AboutToReset(); });
  m_selected = nullptr;
  m_editing = nullptr;
  m_endingEdit = nullptr;
  auto topLevel = std::move(m_topLevel);
  m_topLevel.clear();
  for (auto& node : topLevel) Destroy(std::move(node));
  m_list.clear();
  m_listHoles = 0;
  m_keys.clear();
  m_count = 0;
  Notify([](Observer& o) { o.ResetDone(); });
}

TreeControl::Node* TreeControl::Find(const std::string& key) const {
  if (key.empty()) return nullptr;
  const auto it = m_keys.find(key);
  return it == m_keys.end() ? nullptr : it->second;
}

TreeControl::Node* TreeControl::NodeAt(std::size_t index) const {
  CompactList();
  return index < m_list.size() ? m_list[index] : nullptr;
}

std::vector<TreeControl::Node*> TreeControl::NodeList() const {
  CompactList();
  return m_list;
}

TreeControl::Node* TreeControl::TopLevelAt(std::size_t row) const {
  return row < m_topLevel.size() ? m_topLevel[row].get() : nullptr;
}

std::vector<TreeControl::Node*> TreeControl::TopLevelNodes() const {
  std::vector<Node*> nodes;
  nodes.reserve(m_topLevel.size());
  for (const auto& node : m_topLevel) nodes.push_back(node.get());
  return nodes;
}

void TreeControl::SetSelectedItem(Node* node) {
  if (node && node->m_tree != this) return;
  if (node == m_selected) return;
  m_selected = node;
  Notify([&](Observer& o) { o.SelectionChanged(node); });
}

void TreeControl::BeginUpdate() {
  if (m_updateDepth == 0) {
    const auto observers = m_observers;
    for (Observer* observer : observers) observer->AboutToReset();
  }
  ++m_updateDepth;
}

void TreeControl::EndUpdate() {
  if (m_updateDepth == 0) return;
  if (--m_updateDepth == 0) {
    const auto observers = m_observers;
    for (Observer* observer : observers) observer->ResetDone();
  }
}

TreeControl::Node* TreeControl::HitTest(int x, int y) const {
  return m_hitTest ? m_hitTest(x, y) : nullptr;
}

void TreeControl::TextChanged(Node* node) {
  if (node->m_parent == nullptr && m_sorted) {
    const std::size_t from = node->m_row;
    const std::size_t to = SortedRow(node, from);
    if (to != from) {
      Notify([&](Observer& o) { o.NodeAboutToMove(node, to); });
      auto owned = std::move(m_topLevel[from]);
      m_topLevel.erase(m_topLevel.begin() + static_cast<std::ptrdiff_t>(from));
      m_topLevel.insert(m_topLevel.begin() + static_cast<std::ptrdiff_t>(to), std::move(owned));
      Renumber(m_topLevel, std::min(from, to));
      Notify([&](Observer& o) { o.NodeMoved(node); });
    }
  }
  NotifyChanged(node, Change::Text);
}

void TreeControl::NotifyChanged(Node* node, Change what) {
  Notify([&](Observer& o) { o.NodeChanged(node, what); });
}

bool TreeControl::CanEditLabel(const Node* node) const {
  if (!m_enabled || !node || node->m_tree != this) return false;
  return !m_labelEditFilter || m_labelEditFilter(*node);
}

bool TreeControl::StartLabelEdit() { return StartLabelEdit(m_selected); }

bool TreeControl::StartLabelEdit(Node* node) {
  if (!CanEditLabel(node)) return false;
  if (m_editing && m_editing != node) EndLabelEdit({}, true);
  m_editing = node;
  Notify([&](Observer& o) { o.LabelEditStarted(node); });
  return true;
}

bool TreeControl::EndLabelEdit(std::string newText, bool cancelled) {
  Node* node = m_editing;
  if (!node) return false;
  m_editing = nullptr;
  bool taken = false;
  // The handler may remove the node or clear the tree; Detach and Clear reset m_endingEdit.
  m_endingEdit = node;
  if (!cancelled && m_enabled) {
    LabelEditEvent event{node, std::move(newText), false};
    if (m_onAfterLabelEdit) m_onAfterLabelEdit(event);
    if (!event.cancel && m_endingEdit) {
      node->SetText(std::move(event.newText));
      taken = true;
    }
  }
  if (m_endingEdit) Notify([&](Observer& o) { o.LabelEditEnded(node); });
  m_endingEdit = nullptr;
  return taken;
}

bool TreeControl::RaiseDblClick() {
  if (!m_enabled || !m_onDblClick) return false;
  m_onDblClick();
  return true;
}

bool TreeControl::RaiseKeyDown(int keyCode, int shift) {
  if (!m_enabled || !m_onKeyDown) return false;
  m_onKeyDown(keyCode, shift);
  return true;
}

bool TreeControl::RaiseKeyUp(int keyCode, int shift) {
  if (!m_enabled || !m_onKeyUp) return false;
  m_onKeyUp(keyCode, shift);
  return true;
}

bool TreeControl::RaiseMouseUp(int button, int shift, int x, int y) {
  if (!m_enabled || !m_onMouseUp) return false;
  m_onMouseUp(button, shift, x, y);
  return true;
}
