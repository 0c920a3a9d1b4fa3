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
