#pragma once
// The tree control that the loaders, the check run and the message panel read and change: nodes
// with key, text, tag, images, bold, expanded and selected; a node list in insertion order; a
// sorting switch for the displayed order of top-level nodes; label editing; the events the panel
// handles. No Qt here: a Qt model (TreeModel) shows it and follows its change notifications.
//
// Node handles are plain `TreeControl::Node*`. A handle stays valid until its node (or an
// ancestor) is removed, the tree is cleared or the tree is destroyed. Every change goes through
// the node's setters, which tell the tree, so a view learns of it.
//
// Indexes are 0-based: NodeAt(0) is the first node of the node list, Node::Index() the position
// of a node in it, Node::Row() its position among its displayed siblings.
//
// Speed: adding, finding by key and changing a node are O(1) (a top-level add with sorting on is
// O(number of top-level nodes)); removing a subtree is linear in its size. Walking the node list
// after removals costs one O(n) compaction. For loads of many nodes into a shown tree, wrap the
// adds in BeginUpdate/EndUpdate (or an UpdateGuard): a view then sees one reset instead of one
// insert per node; AddChildren gives a shown parent all its new children in one insert.
//
// Children on demand: a node may stand for children that have not been read yet (a source whose
// messages are read when it is unfolded). It counts as having children, and the tree's child
// loader reads them the first time they are needed: when the node is expanded, or a view asks
// through FetchChildren. Folded again, such a node gives its children up, unless the selected
// node is among them, so that they cost memory only while they are shown.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// Image numbers of the message tree's image list.
namespace MessageTreeImage {
inline constexpr int Source = 1;
inline constexpr int Unread = 2;
inline constexpr int Read = 3;
}  // namespace MessageTreeImage

class TreeControl {
 public:
  class Node;
  class Observer;

  // Key codes, buttons and shift bits as the event handlers receive them.
  static constexpr int KeyF2 = 113;
  static constexpr int ButtonLeft = 1;
  static constexpr int ButtonRight = 2;
  static constexpr int ButtonMiddle = 4;
  static constexpr int ShiftMask = 1;
  static constexpr int CtrlMask = 2;
  static constexpr int AltMask = 4;

  // What a node change touched, for observers.
  enum class Change { Text, Tag, Image, Bold, Expanded };

  // The end of a committed label edit. The handler sees the node with its old text and may set
  // `cancel`; a cancelled edit keeps the old text.
  struct LabelEditEvent {
    Node* node = nullptr;
    std::string newText;
    bool cancel = false;
  };

  explicit TreeControl(std::string name = {});
  ~TreeControl();
  TreeControl(const TreeControl&) = delete;
  TreeControl& operator=(const TreeControl&) = delete;

  // The control's name ("tvSources", "tvMessages").
  const std::string& Name() const { return m_name; }
  void SetName(std::string name) { m_name = std::move(name); }

  // A disabled control ignores double clicks, keys, mouse releases and label edits.
  bool Enabled() const { return m_enabled; }
  void SetEnabled(bool enabled);

  // While on, top-level nodes are displayed in alphabetical order of their text (ASCII letters
  // compared without case, ties in insertion order). Switching it off keeps the displayed order;
  // later top-level nodes go to the end until it is switched on again.
  bool Sorted() const { return m_sorted; }
  void SetSorted(bool sorted);

  // Adds a node at top level, or as the last child of the node with the given key (or handle).
  // An empty key means none. Fails with nullptr when the key is already in the tree or the
  // parent is not found. selectedImage defaults to the image.
  Node* Add(const std::string& key, std::string text, int image = 0,
            std::optional<int> selectedImage = std::nullopt);
  Node* AddChild(const std::string& parentKey, const std::string& key, std::string text,
                 int image = 0, std::optional<int> selectedImage = std::nullopt);
  Node* AddChild(Node* parent, const std::string& key, std::string text, int image = 0,
                 std::optional<int> selectedImage = std::nullopt);

  // Adds children after the parent's last child, in order, with one notification. Children whose
  // key is already in the tree are left out. Returns how many were added.
  struct NewChild {
    std::string key;
    std::string text;
    int image = 0;
    std::string tag{};
    bool bold = false;
    // What a screen reader says after the text (a message's date); not shown.
    std::string detail{};
  };
  std::size_t AddChildren(Node* parent, std::vector<NewChild> children);

  // Reads children on demand (see above); the loader adds them to the node it is given, without
  // letting window events run. Without a loader nothing is read and nothing is given up.
  void SetChildLoader(std::function<void(Node&)> loader) { m_childLoader = std::move(loader); }
  bool HasChildLoader() const { return static_cast<bool>(m_childLoader); }
  // Reads a node's pending children through the loader. True when the loader ran.
  bool FetchChildren(Node* node);
  // Removes a node's children with one notification; a node whose children come on demand then
  // has them pending again.
  void RemoveChildren(Node* node);

  // Removes a node with all its children. False when the node is null or not of this tree.
  bool Remove(Node* node);
  bool Remove(const std::string& key);
  void Clear();

  // Number of nodes, top-level and children.
  std::size_t Count() const { return m_count; }
  // The node with this key, or nullptr. An empty key finds nothing.
  Node* Find(const std::string& key) const;

  // The node list in insertion order; nullptr past the end.
  Node* NodeAt(std::size_t index) const;
  std::vector<Node*> NodeList() const;

  // Top-level nodes in displayed order.
  std::size_t TopLevelCount() const { return m_topLevel.size(); }
  Node* TopLevelAt(std::size_t row) const;
  std::vector<Node*> TopLevelNodes() const;

  // The selected node (at most one), or nullptr.
  Node* SelectedItem() const { return m_selected; }
  // Selects the node (nullptr clears the selection).
  void SetSelectedItem(Node* node);

  // Batches changes: between the outermost BeginUpdate and EndUpdate observers get no per-node
  // notifications, and one reset at the end. Calls nest.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return m_updateDepth > 0; }
  class UpdateGuard {
   public:
    explicit UpdateGuard(TreeControl& tree) : m_tree(tree) { m_tree.BeginUpdate(); }
    ~UpdateGuard() { m_tree.EndUpdate(); }
    UpdateGuard(const UpdateGuard&) = delete;
    UpdateGuard& operator=(const UpdateGuard&) = delete;

   private:
    TreeControl& m_tree;
  };

  // The node at a point of the view (pixels); the view installs the test.
  void SetHitTest(std::function<Node*(int x, int y)> hitTest) { m_hitTest = std::move(hitTest); }
  Node* HitTest(int x, int y) const;

  // Which nodes may have their label edited; without a filter every node may.
  void SetLabelEditFilter(std::function<bool(const Node&)> filter) {
    m_labelEditFilter = std::move(filter);
  }
  bool CanEditLabel(const Node* node) const;
  // Starts editing the selected node's (or the given node's) label. False when the control is
  // disabled, there is no such node or its label may not be edited.
  bool StartLabelEdit();
  bool StartLabelEdit(Node* node);
  // The node whose label is being edited, or nullptr.
  Node* EditingNode() const { return m_editing; }
  // Ends the edit under way. A cancelled edit (the user backed out) ends without the handler and
  // keeps the old text. Otherwise the handler runs and, unless it cancels, the node takes the new
  // text. Returns true when the new text was taken.
  bool EndLabelEdit(std::string newText, bool cancelled);

  // Event handlers. The Raise functions are called by the view (and by tests); they do nothing
  // while the control is disabled and return whether a handler ran.
  void SetOnDblClick(std::function<void()> handler) { m_onDblClick = std::move(handler); }
  // A key press (auto-repeats left out): what a key does at once. A release may belong to a
  // press that went to a box which has closed since, so it must never act on its own.
  void SetOnKeyDown(std::function<void(int keyCode, int shift)> handler) {
    m_onKeyDown = std::move(handler);
  }
  void SetOnKeyUp(std::function<void(int keyCode, int shift)> handler) {
    m_onKeyUp = std::move(handler);
  }
  void SetOnMouseUp(std::function<void(int button, int shift, int x, int y)> handler) {
    m_onMouseUp = std::move(handler);
  }
  void SetOnAfterLabelEdit(std::function<void(LabelEditEvent&)> handler) {
    m_onAfterLabelEdit = std::move(handler);
  }
  bool RaiseDblClick();
  bool RaiseKeyDown(int keyCode, int shift);
  bool RaiseKeyUp(int keyCode, int shift);
  bool RaiseMouseUp(int button, int shift, int x, int y);

  // Observers are not owned; one must be removed before it is destroyed.
  void AddObserver(Observer* observer);
  void RemoveObserver(Observer* observer);

 private:
  friend class Node;

  Node* AddNode(Node* parent, const std::string& key, std::string text, int image,
                std::optional<int> selectedImage);
  void ReleaseChildren(Node* node);
  void Detach(Node* node);
  void Destroy(std::unique_ptr<Node> node);
  void CompactList() const;
  void InsertTopLevel(std::unique_ptr<Node> node);
  void SortTopLevel();
  void Renumber(std::vector<std::unique_ptr<Node>>& siblings, std::size_t from);
  std::size_t SortedRow(const Node* node, std::size_t skipRow) const;
  void TextChanged(Node* node);
  void NotifyChanged(Node* node, Change what);
  template <typename F>
  void Notify(F&& f);

  std::string m_name;
  bool m_enabled = true;
  bool m_sorted = false;
  int m_updateDepth = 0;
  std::size_t m_count = 0;
  std::uint64_t m_nextSequence = 0;
  std::vector<std::unique_ptr<Node>> m_topLevel;  // displayed order
  mutable std::vector<Node*> m_list;              // insertion order; nullptr for removed nodes
  mutable std::size_t m_listHoles = 0;
  std::unordered_map<std::string, Node*> m_keys;
  Node* m_selected = nullptr;
  Node* m_editing = nullptr;
  Node* m_endingEdit = nullptr;  // the node whose end-of-edit handler runs
  std::vector<Observer*> m_observers;
  std::function<Node*(int, int)> m_hitTest;
  std::function<bool(const Node&)> m_labelEditFilter;
  std::function<void()> m_onDblClick;
  std::function<void(int, int)> m_onKeyDown;
  std::function<void(int, int)> m_onKeyUp;
  std::function<void(int, int, int, int)> m_onMouseUp;
  std::function<void(LabelEditEvent&)> m_onAfterLabelEdit;
  std::function<void(Node&)> m_childLoader;
};

class TreeControl::Node {
 public:
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node();

  TreeControl& Tree() const { return *m_tree; }
  const std::string& Key() const { return m_key; }

  const std::string& Text() const { return m_text; }
  void SetText(std::string text);
  const std::string& Tag() const { return m_tag; }
  void SetTag(std::string tag);
  // Set by AddChildren (NewChild::detail).
  const std::string& Detail() const { return m_detail; }
  int Image() const { return m_image; }
  void SetImage(int image);
  int SelectedImage() const { return m_selectedImage.value_or(m_image); }
  void SetSelectedImage(int image);
  bool Bold() const { return m_bold; }
  void SetBold(bool bold);
  bool Expanded() const { return m_expanded; }
  void SetExpanded(bool expanded);
  bool Selected() const { return m_tree->m_selected == this; }
  void SetSelected(bool selected);

  // Whether the node's children come on demand (see TreeControl). Switching it on for a node
  // without children leaves them pending; a node with children keeps them until it is folded.
  bool ChildrenOnDemand() const { return m_onDemand; }
  void SetChildrenOnDemand(bool onDemand);
  // Children on demand that have not been read yet.
  bool ChildrenPending() const { return m_pending; }

  // nullptr for a top-level node.
  Node* Parent() const { return m_parent; }
  bool IsTopLevel() const { return m_parent == nullptr; }
  std::size_t ChildCount() const { return m_children.size(); }
  Node* Child(std::size_t row) const {
    return row < m_children.size() ? m_children[row].get() : nullptr;
  }
  // Position among displayed siblings (for top-level nodes: in the displayed order).
  std::size_t Row() const { return m_row; }
  // Position in the tree's node list.
  std::size_t Index() const;

 private:
  friend class TreeControl;
  Node(TreeControl* tree, Node* parent, std::string key, std::string text, int image,
       std::optional<int> selectedImage, std::uint64_t sequence);

  TreeControl* m_tree;
  Node* m_parent;
  std::string m_key;
  std::string m_text;
  std::string m_sortKey;  // top level only: the text with ASCII letters lowered
  std::string m_tag;
  std::string m_detail;
  int m_image;
  std::optional<int> m_selectedImage;
  bool m_bold = false;
  bool m_expanded = false;
  bool m_onDemand = false;
  bool m_pending = false;
  std::uint64_t m_sequence;  // order of adding, breaks sort ties
  std::size_t m_row = 0;
  std::size_t m_listPos = 0;
  std::vector<std::unique_ptr<Node>> m_children;
};

// Change notifications for a view. Calls come in pairs around each change; between the pairs the
// tree is consistent. Rows are displayed rows.
class TreeControl::Observer {
 public:
  virtual ~Observer() = default;
  // `parent` is nullptr for top level.
  virtual void NodeAboutToBeAdded(Node* parent, std::size_t row) = 0;
  virtual void NodeAdded(Node* node) = 0;
  // Children added at once at rows first..last of the parent.
  virtual void ChildrenAboutToBeAdded(Node* parent, std::size_t first, std::size_t last) = 0;
  virtual void ChildrenAdded(Node* parent, std::size_t first, std::size_t last) = 0;
  // All of a node's children go at once.
  virtual void ChildrenAboutToBeRemoved(Node* parent) = 0;
  virtual void ChildrenRemoved(Node* parent) = 0;
  // The node is still in place, with its children.
  virtual void NodeAboutToBeRemoved(Node* node) = 0;
  virtual void NodeRemoved() = 0;
  // A top-level node moves from its row to `toRow` (its row after the move) because of a sort.
  virtual void NodeAboutToMove(Node* node, std::size_t toRow) = 0;
  virtual void NodeMoved(Node* node) = 0;
  virtual void NodeChanged(Node* node, Change what) = 0;
  // The displayed order of top-level nodes changes (sorting switched on).
  virtual void OrderAboutToChange() = 0;
  virtual void OrderChanged() = 0;
  // Everything may change (clear, or the outermost BeginUpdate/EndUpdate).
  virtual void AboutToReset() = 0;
  virtual void ResetDone() = 0;
  virtual void SelectionChanged(Node* selected) = 0;
  virtual void EnabledChanged(bool enabled) = 0;
  virtual void LabelEditStarted(Node* node) = 0;
  virtual void LabelEditEnded(Node* node) = 0;
  // The tree is being destroyed; drop every reference to it.
  virtual void TreeDestroyed() = 0;
};
