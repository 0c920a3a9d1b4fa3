#include "core/TreeControl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Node = TreeControl::Node;

std::vector<std::string> Texts(const std::vector<Node*>& nodes) {
  std::vector<std::string> texts;
  for (const Node* node : nodes) texts.push_back(node->Text());
  return texts;
}

std::vector<std::string> Displayed(const TreeControl& tree) { return Texts(tree.TopLevelNodes()); }
std::vector<std::string> Listed(const TreeControl& tree) { return Texts(tree.NodeList()); }

// Records the notifications a view would get.
class Recorder : public TreeControl::Observer {
 public:
  std::vector<std::string> calls;
  void NodeAboutToBeAdded(Node* parent, std::size_t row) override {
    calls.push_back("add " + (parent ? parent->Text() : std::string("-")) + " " +
                    std::to_string(row));
  }
  void NodeAdded(Node*) override {}
  void NodeAboutToBeRemoved(Node* node) override { calls.push_back("remove " + node->Text()); }
  void NodeRemoved() override {}
  void NodeAboutToMove(Node* node, std::size_t toRow) override {
    calls.push_back("move " + node->Text() + " " + std::to_string(node->Row()) + "->" +
                    std::to_string(toRow));
  }
  void NodeMoved(Node*) override {}
  void NodeChanged(Node* node, TreeControl::Change) override {
    calls.push_back("change " + node->Text());
  }
  void OrderAboutToChange() override { calls.push_back("order"); }
  void OrderChanged() override {}
  void AboutToReset() override { calls.push_back("reset begin"); }
  void ResetDone() override { calls.push_back("reset end"); }
  void SelectionChanged(Node* node) override {
    calls.push_back("select " + (node ? node->Text() : std::string("-")));
  }
  void EnabledChanged(bool enabled) override { calls.push_back(enabled ? "enabled" : "disabled"); }
  void LabelEditStarted(Node* node) override { calls.push_back("edit " + node->Text()); }
  void LabelEditEnded(Node* node) override { calls.push_back("edit end " + node->Text()); }
  void TreeDestroyed() override {}
};

// A message tree as the loaders build it: sources at top level, messages beneath.
struct MessageTree {
  TreeControl tree{"tvMessages"};
  MessageTree() {
    tree.SetSorted(false);
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    tree.AddChild("id-zeta", "", "z1", MessageTreeImage::Unread);
    tree.AddChild("id-zeta", "", "z2", MessageTreeImage::Read);
    tree.Add("id-alpha", "Alpha", MessageTreeImage::Source);
    tree.AddChild("id-alpha", "", "a1", MessageTreeImage::Unread);
    tree.SetSorted(true);
  }
};

TEST(TreeControlOrder, ZetaThenAlphaShowsAlphaFirstWhileNodeListMeetsZetaFirst) {
  MessageTree m;
  EXPECT_EQ(Displayed(m.tree), (std::vector<std::string>{"Alpha", "Zeta"}));
  EXPECT_EQ(Listed(m.tree), (std::vector<std::string>{"Zeta", "z1", "z2", "Alpha", "a1"}));
  EXPECT_EQ(m.tree.NodeAt(0)->Text(), "Zeta");
  EXPECT_EQ(m.tree.NodeAt(3)->Index(), 3u);
  EXPECT_EQ(m.tree.Find("id-alpha")->Row(), 0u);
  EXPECT_EQ(m.tree.NodeAt(5), nullptr);
}

TEST(TreeControlOrder, SortIgnoresLetterCaseAndKeepsInsertionOrderForTies) {
  TreeControl tree;
  tree.SetSorted(true);
  tree.Add("1", "beta");
  tree.Add("2", "Alpha");
  tree.Add("3", "BETA");
  tree.Add("4", "alpha");
  EXPECT_EQ(Displayed(tree), (std::vector<std::string>{"Alpha", "alpha", "beta", "BETA"}));
}

TEST(TreeControlOrder, RenamedSourceMovesToItsSortedPlaceAndTellsTheView) {
  TreeControl tree;
  tree.SetSorted(true);
  for (const char* text : {"Bravo", "Delta", "Foxtrot"}) tree.Add(text, text);
  Recorder recorder;
  tree.AddObserver(&recorder);

  tree.Find("Bravo")->SetText("Echo");
  EXPECT_EQ(Displayed(tree), (std::vector<std::string>{"Delta", "Echo", "Foxtrot"}));
  tree.Find("Foxtrot")->SetText("Alpha");
  EXPECT_EQ(Displayed(tree), (std::vector<std::string>{"Alpha", "Delta", "Echo"}));
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"move Echo 0->1", "change Echo",
                                                      "move Alpha 2->0", "change Alpha"}));
  EXPECT_EQ(Listed(tree), (std::vector<std::string>{"Echo", "Delta", "Alpha"}));
  tree.RemoveObserver(&recorder);
}

TEST(TreeControlKeys, DuplicateKeyIsRefusedAndChangesNothing) {
  MessageTree m;
  EXPECT_EQ(m.tree.Add("id-zeta", "Other"), nullptr);
  EXPECT_EQ(m.tree.AddChild("id-alpha", "id-zeta", "Other"), nullptr);
  EXPECT_EQ(m.tree.AddChild("no-such-key", "", "Orphan"), nullptr);
  EXPECT_EQ(m.tree.AddChild("", "", "Orphan"), nullptr);
  EXPECT_EQ(m.tree.AddChild(nullptr, "", "Orphan"), nullptr);
  EXPECT_EQ(m.tree.Remove(nullptr), false);
  EXPECT_EQ(m.tree.Count(), 5u);
  EXPECT_EQ(m.tree.Find("id-zeta")->Text(), "Zeta");
  // Nodes without a key never clash.
  EXPECT_NE(m.tree.AddChild("id-alpha", "", "a2"), nullptr);
  EXPECT_EQ(m.tree.Find(""), nullptr);
}

TEST(TreeControlKeys, RemovingSourceTakesItsMessagesOutOfListAndKeyIndex) {
  MessageTree m;
  m.tree.AddChild("id-zeta", "msg-key", "z3");
  ASSERT_TRUE(m.tree.Remove("id-zeta"));

  EXPECT_EQ(m.tree.Count(), 2u);
  EXPECT_EQ(Listed(m.tree), (std::vector<std::string>{"Alpha", "a1"}));
  EXPECT_EQ(m.tree.NodeAt(1)->Index(), 1u);
  EXPECT_EQ(m.tree.Find("id-zeta"), nullptr);
  EXPECT_EQ(m.tree.Find("msg-key"), nullptr);
  EXPECT_EQ(Displayed(m.tree), (std::vector<std::string>{"Alpha"}));

  Node* again = m.tree.Add("id-zeta", "Zeta");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->ChildCount(), 0u);
  EXPECT_EQ(again->Index(), 2u);
  EXPECT_NE(m.tree.AddChild("id-zeta", "msg-key", "z3"), nullptr);
}

TEST(TreeControlKeys, RemovingOneMessageKeepsSiblingRowsAndListIndexesExact) {
  MessageTree m;
  Node* zeta = m.tree.Find("id-zeta");
  m.tree.AddChild(zeta, "", "z3");
  ASSERT_TRUE(m.tree.Remove(zeta->Child(0)));
  EXPECT_EQ(zeta->Child(0)->Text(), "z2");
  EXPECT_EQ(zeta->Child(0)->Row(), 0u);
  EXPECT_EQ(zeta->Child(1)->Row(), 1u);
  const auto list = m.tree.NodeList();
  for (std::size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->Index(), i);
  EXPECT_EQ(Listed(m.tree), (std::vector<std::string>{"Zeta", "z2", "Alpha", "a1", "z3"}));
}

TEST(TreeControlKeys, ResetOfSourceNodeWithManyMessagesLeavesOtherSourcesAlone) {
  MessageTree m;
  for (int i = 0; i < 10000; ++i) m.tree.AddChild("id-zeta", "", "m" + std::to_string(i), 2);
  Node* zeta = m.tree.Find("id-zeta");
  const std::string text = zeta->Text();
  const std::string tag = "https://example.invalid/zeta";

  m.tree.SetSorted(false);
  ASSERT_TRUE(m.tree.Remove(zeta));
  Node* fresh = m.tree.Add("id-zeta", text, MessageTreeImage::Source, MessageTreeImage::Source);
  fresh->SetTag(tag);
  m.tree.SetSorted(true);

  EXPECT_EQ(m.tree.Count(), 3u);
  EXPECT_EQ(Displayed(m.tree), (std::vector<std::string>{"Alpha", "Zeta"}));
  EXPECT_EQ(Listed(m.tree), (std::vector<std::string>{"Alpha", "a1", "Zeta"}));
  EXPECT_EQ(fresh->Expanded(), false);
  EXPECT_EQ(fresh->Tag(), tag);
  EXPECT_EQ(fresh->SelectedImage(), MessageTreeImage::Source);
}

TEST(TreeControlKeys, DeepChainIsRemovedWithoutExhaustingTheStack) {
  TreeControl tree;
  Node* node = tree.Add("root", "root");
  for (int i = 0; i < 200000; ++i) node = tree.AddChild(node, "", "n");
  EXPECT_EQ(tree.Count(), 200001u);
  EXPECT_TRUE(tree.Remove("root"));
  EXPECT_EQ(tree.Count(), 0u);
}

TEST(TreeControlNodes, OneNodeIsSelectedAndRemovingItClearsTheSelection) {
  MessageTree m;
  Recorder recorder;
  m.tree.AddObserver(&recorder);
  Node* a1 = m.tree.Find("id-alpha")->Child(0);
  a1->SetSelected(true);
  m.tree.Find("id-zeta")->SetSelected(true);
  EXPECT_EQ(a1->Selected(), false);
  EXPECT_EQ(m.tree.SelectedItem()->Text(), "Zeta");
  m.tree.Remove("id-zeta");
  EXPECT_EQ(m.tree.SelectedItem(), nullptr);
  EXPECT_EQ(recorder.calls,
            (std::vector<std::string>{"select a1", "select Zeta", "remove Zeta", "select -"}));
  m.tree.RemoveObserver(&recorder);
}

TEST(TreeControlBatch, BatchGivesOneResetInsteadOfPerNodeNotifications) {
  MessageTree m;
  Recorder recorder;
  m.tree.AddObserver(&recorder);
  {
    TreeControl::UpdateGuard outer(m.tree);
    TreeControl::UpdateGuard inner(m.tree);
    m.tree.Remove("id-zeta");
    m.tree.Add("id-zeta", "Zeta");
    for (int i = 0; i < 100; ++i) m.tree.AddChild("id-zeta", "", "m");
    m.tree.Find("id-zeta")->SetSelected(true);
  }
  m.tree.Add("id-new", "New");
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"reset begin", "reset end", "add - 1"}));
  EXPECT_EQ(m.tree.Updating(), false);
  m.tree.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(m.tree.Updating(), false);
  m.tree.RemoveObserver(&recorder);
}

struct TreeControlEdit : ::testing::Test {
  MessageTree m;
  std::vector<std::string> seen;  // old text -> new text, as the handler saw them
  bool cancelInHandler = false;
  void SetUp() override {
    m.tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
    m.tree.SetOnAfterLabelEdit([this](TreeControl::LabelEditEvent& event) {
      seen.push_back(event.node->Text() + " -> " + event.newText);
      event.cancel = cancelInHandler;
    });
  }
};

TEST_F(TreeControlEdit, CommittedEditTakesNewTextAfterHandlerSawTheOld) {
  m.tree.Find("id-zeta")->SetSelected(true);
  ASSERT_TRUE(m.tree.StartLabelEdit());
  EXPECT_EQ(m.tree.EditingNode(), m.tree.Find("id-zeta"));
  EXPECT_TRUE(m.tree.EndLabelEdit("Aardvark", false));
  EXPECT_EQ(seen, (std::vector<std::string>{"Zeta -> Aardvark"}));
  EXPECT_EQ(m.tree.Find("id-zeta")->Text(), "Aardvark");
  EXPECT_EQ(Displayed(m.tree), (std::vector<std::string>{"Aardvark", "Alpha"}));
  EXPECT_EQ(m.tree.EditingNode(), nullptr);
}

TEST_F(TreeControlEdit, CancelledEditKeepsOldText) {
  cancelInHandler = true;
  ASSERT_TRUE(m.tree.StartLabelEdit(m.tree.Find("id-zeta")));
  EXPECT_FALSE(m.tree.EndLabelEdit("", false));
  EXPECT_EQ(m.tree.Find("id-zeta")->Text(), "Zeta");

  // Backing out does not ask the handler at all.
  ASSERT_TRUE(m.tree.StartLabelEdit(m.tree.Find("id-zeta")));
  EXPECT_FALSE(m.tree.EndLabelEdit("Typed", true));
  EXPECT_EQ(seen, (std::vector<std::string>{"Zeta -> "}));
  EXPECT_EQ(m.tree.Find("id-zeta")->Text(), "Zeta");
  EXPECT_FALSE(m.tree.EndLabelEdit("Late", false));
}

TEST_F(TreeControlEdit, OnlyNodesTheFilterAllowsCanBeEdited) {
  Node* message = m.tree.Find("id-zeta")->Child(0);
  message->SetSelected(true);
  EXPECT_FALSE(m.tree.StartLabelEdit());
  EXPECT_EQ(m.tree.CanEditLabel(message), false);
  m.tree.SetSelectedItem(nullptr);
  EXPECT_FALSE(m.tree.StartLabelEdit());
  EXPECT_EQ(m.tree.EditingNode(), nullptr);
}

TEST_F(TreeControlEdit, HandlerThatRemovesTheEditedNodeIsSafe) {
  m.tree.SetOnAfterLabelEdit([this](TreeControl::LabelEditEvent&) { m.tree.Clear(); });
  ASSERT_TRUE(m.tree.StartLabelEdit(m.tree.Find("id-alpha")));
  EXPECT_FALSE(m.tree.EndLabelEdit("Renamed", false));
  EXPECT_EQ(m.tree.Count(), 0u);
}

TEST(TreeControlEvents, DisabledTreeTakesNoClicksKeysOrEdits) {
  MessageTree m;
  int handled = 0;
  m.tree.SetOnDblClick([&] { ++handled; });
  m.tree.SetOnKeyUp([&](int, int) { ++handled; });
  m.tree.SetOnMouseUp([&](int, int, int, int) { ++handled; });
  m.tree.SetOnAfterLabelEdit([&](TreeControl::LabelEditEvent&) { ++handled; });
  ASSERT_TRUE(m.tree.StartLabelEdit(m.tree.Find("id-zeta")));

  m.tree.SetEnabled(false);
  EXPECT_EQ(m.tree.EditingNode(), nullptr);  // the open edit was backed out
  EXPECT_FALSE(m.tree.RaiseDblClick());
  EXPECT_FALSE(m.tree.RaiseKeyUp(TreeControl::KeyF2, 0));
  EXPECT_FALSE(m.tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 1, 1));
  EXPECT_FALSE(m.tree.StartLabelEdit(m.tree.Find("id-zeta")));
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(m.tree.Find("id-zeta")->Text(), "Zeta");

  m.tree.SetEnabled(true);
  EXPECT_TRUE(m.tree.RaiseDblClick());
  EXPECT_EQ(handled, 1);
}

}  // namespace
