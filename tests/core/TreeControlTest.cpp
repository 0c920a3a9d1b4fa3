#include "core/TreeControl.h"

#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Node = TreeControl::Node;
using Texts = std::vector<std::string>;
using TestData::TopLevelTexts;

Texts Listed(const TreeControl& tree) {
  Texts texts;
  for (const Node* node : tree.NodeList()) texts.push_back(node->Text());
  return texts;
}

// A message tree as the loaders build it: sources at top level, messages beneath.
class TreeControlTest : public ::testing::Test {
 protected:
  TreeControlTest() {
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    tree.AddChild("id-zeta", "", "z1", MessageTreeImage::Unread);
    tree.AddChild("id-zeta", "", "z2", MessageTreeImage::Read);
    tree.Add("id-alpha", "Alpha", MessageTreeImage::Source);
    tree.AddChild("id-alpha", "", "a1", MessageTreeImage::Unread);
    tree.SetSorted(true);
  }
  TreeControl tree{"tvMessages"};
};

TEST_F(TreeControlTest, DisplayIsSortedWithoutCaseWhileTheNodeListKeepsInsertionOrder) {
  EXPECT_EQ(TopLevelTexts(tree), (Texts{"Alpha", "Zeta"}));
  for (const char* text : {"beta", "alpha", "BETA"}) tree.Add(text, text);
  EXPECT_EQ(TopLevelTexts(tree), (Texts{"Alpha", "alpha", "beta", "BETA", "Zeta"}));  // ties: added
  // A renamed source moves to its sorted place; the node list does not change.
  tree.Find("id-zeta")->SetText("Aardvark");
  tree.Find("id-alpha")->SetText("Gamma");
  EXPECT_EQ(TopLevelTexts(tree), (Texts{"Aardvark", "alpha", "beta", "BETA", "Gamma"}));
  EXPECT_EQ(Listed(tree), (Texts{"Aardvark", "z1", "z2", "Gamma", "a1", "beta", "alpha", "BETA"}));
  EXPECT_EQ(tree.NodeAt(3)->Index(), 3u);
  EXPECT_EQ(tree.NodeAt(8), nullptr);
}

TEST_F(TreeControlTest, KeysAreUniqueAndRemovalTakesASubtreeOutOfListAndKeys) {
  for (Node* refused :
       {tree.Add("id-zeta", "Other"), tree.AddChild("id-alpha", "id-zeta", "Other"),
        tree.AddChild("no-such-key", "", "Orphan"), tree.AddChild(nullptr, "", "x")})
    EXPECT_EQ(refused, nullptr);
  EXPECT_NE(tree.AddChild("id-alpha", "", "a2"), nullptr);  // nodes without a key never clash
  EXPECT_EQ(Listed(tree), (Texts{"Zeta", "z1", "z2", "Alpha", "a1", "a2"}));
  tree.AddChild("id-zeta", "msg-key", "z3");
  ASSERT_TRUE(tree.Remove("id-zeta"));
  EXPECT_EQ(Listed(tree), (Texts{"Alpha", "a1", "a2"}));
  EXPECT_EQ(tree.NodeAt(2)->Index(), 2u);
  EXPECT_EQ(tree.Find("msg-key"), nullptr);
  EXPECT_EQ(tree.Add("id-zeta", "Zeta")->ChildCount(), 0u);
  EXPECT_NE(tree.AddChild("id-zeta", "msg-key", "z3"), nullptr);
}

// The rename rules on top of this are pinned in PanelActionsTest, backing out in TreeModelTest.
TEST_F(TreeControlTest, LabelEditAsksTheFilterAndSurvivesAHandlerThatClearsTheTree) {
  tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
  tree.SetOnAfterLabelEdit([&](TreeControl::LabelEditEvent&) { tree.Clear(); });
  tree.Find("id-zeta")->Child(0)->SetSelected(true);
  EXPECT_EQ(tree.StartLabelEdit(), false);
  ASSERT_TRUE(tree.StartLabelEdit(tree.Find("id-alpha")));
  EXPECT_EQ(tree.EndLabelEdit("Renamed", false), false);  // no dangling edited node
  EXPECT_EQ(std::pair(tree.Count(), tree.EditingNode()),
            std::pair(0ul, static_cast<Node*>(nullptr)));
}

// A check run disables the tree: nothing may start another command meanwhile.
TEST_F(TreeControlTest, DisabledTreeTakesNoClicksKeysOrEdits) {
  int handled = 0;
  tree.SetOnDblClick([&] { ++handled; });
  tree.SetOnKeyUp([&](int, int) { ++handled; });
  tree.SetOnMouseUp([&](int, int, int, int) { ++handled; });
  ASSERT_TRUE(tree.StartLabelEdit(tree.Find("id-zeta")));
  tree.SetEnabled(false);
  EXPECT_EQ(tree.EditingNode(), nullptr);  // the open edit was backed out
  tree.RaiseDblClick(), tree.RaiseKeyUp(TreeControl::KeyF2, 0), tree.RaiseMouseUp(2, 0, 1, 1);
  EXPECT_EQ(std::pair(tree.StartLabelEdit(tree.Find("id-zeta")), handled), std::pair(false, 0));
  tree.SetEnabled(true);
  tree.RaiseDblClick();
  EXPECT_EQ(handled, 1);
}

}  // namespace

// Catches children read at every unfolding or never, children kept while folded (or given up with
// the selection among them), and a batch of children that clashes with keys in the tree.
TEST_F(TreeControlTest, ChildrenOnDemandAreReadWhenUnfoldedAndGivenUpWhenFolded) {
  Node* beta = tree.Add("id-beta", "Beta", MessageTreeImage::Source);
  beta->SetChildrenOnDemand(true);
  EXPECT_EQ(std::pair(beta->ChildrenPending(), tree.FetchChildren(beta)), std::pair(true, false));
  int reads = 0;
  tree.SetChildLoader([&](Node& node) {
    ++reads;
    node.Tree().AddChildren(&node, {{"", "b1", MessageTreeImage::Unread, "g1", true},
                                    {"id-zeta", "clash"},
                                    {"b-key", "b2"},
                                    {"b-key", "twin"}});
  });
  const auto children = [&] {
    Texts texts;
    for (std::size_t row = 0; row < beta->ChildCount(); ++row)
      texts.push_back(beta->Child(row)->Text() + "/" + beta->Child(row)->Tag());
    return std::pair(reads, texts);
  };
  beta->SetExpanded(true);
  beta->SetExpanded(true);
  EXPECT_EQ(children(), std::pair(1, Texts{"b1/g1", "b2/"}));
  EXPECT_EQ(std::pair(beta->Child(0)->Bold(), tree.Find("b-key")), std::pair(true, beta->Child(1)));
  beta->SetExpanded(false);
  EXPECT_EQ(children(), std::pair(1, Texts{}));
  EXPECT_EQ(tree.Find("b-key"), nullptr);
  // The selection among them keeps them, as does a node not on demand.
  beta->SetExpanded(true);
  tree.SetSelectedItem(beta->Child(1));
  beta->SetExpanded(false);
  tree.Find("id-zeta")->SetExpanded(true);
  tree.Find("id-zeta")->SetExpanded(false);
  EXPECT_EQ(children(), std::pair(2, Texts{"b1/g1", "b2/"}));
  EXPECT_EQ(tree.Find("id-zeta")->ChildCount(), 2u);
  tree.RemoveChildren(beta);
  EXPECT_EQ(std::tuple(beta->ChildrenPending(), tree.SelectedItem() == nullptr, tree.Count()),
            std::tuple(true, true, std::size_t{6}));
}
