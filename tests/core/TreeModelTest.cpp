#include "core/TreeModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFont>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Node = TreeControl::Node;
using Texts = std::vector<std::string>;

void Settle() { QCoreApplication::processEvents(), QCoreApplication::processEvents(); }

// A message tree shown by a model in a tree view; the model tester stops the test at the first
// notification that does not match the model's rows.
class TreeModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    tree.AddChild("id-zeta", "", "z1", MessageTreeImage::Unread)->SetBold(true);
    tree.AddChild("id-zeta", "", "z2", MessageTreeImage::Read);
    tree.Add("id-alpha", "Alpha", MessageTreeImage::Source);
    tree.AddChild("id-alpha", "", "a1", MessageTreeImage::Unread);
    tree.SetSorted(true);
    model.SetImageList(icons);
    model.AttachView(&view);
    view.show();
    view.expandAll();
    Settle();
  }

  QModelIndex Index(const std::string& key) { return model.IndexFromNode(tree.Find(key)); }
  Texts Rows() {
    Texts texts;
    for (int row = 0; row < model.rowCount(); ++row)
      texts.push_back(model.index(row, 0).data().toString().toStdString());
    return texts;
  }

  TreeControl tree{"tvMessages"};
  TreeModel model{tree};
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
  QTreeView view;
  QList<QIcon> icons{QIcon(), QIcon(QPixmap(8, 8)), QIcon(QPixmap(8, 8)), QIcon(QPixmap(8, 8))};
};

TEST_F(TreeModelTest, MirrorsTheControlThroughChangesMovesRemovesAndResets) {
  const QModelIndex z1 = model.index(0, 0, Index("id-zeta"));
  const auto look = [&] {
    return std::tuple(z1.data().toString().toStdString(),
                      z1.data(Qt::FontRole).value<QFont>().bold(),
                      z1.data(Qt::DecorationRole).value<QIcon>().cacheKey());
  };
  EXPECT_EQ(look(), std::tuple("z1", true, icons[2].cacheKey()));
  Node* node = tree.Find("id-zeta")->Child(0);
  node->SetText("z1 read");
  node->SetImage(MessageTreeImage::Read);
  node->SetBold(false);
  EXPECT_EQ(look(), std::tuple("z1 read", false, icons[3].cacheKey()));

  tree.Add("id-mike", "Mike");
  tree.Find("id-alpha")->SetText("Yankee");  // moves down
  tree.Find("id-zeta")->SetText("Bravo");    // moves up
  tree.SetSorted(false);
  tree.Add("id-able", "Able");
  EXPECT_EQ(Rows(), (Texts{"Bravo", "Mike", "Yankee", "Able"}));
  tree.SetSorted(true);
  tree.Remove(node);
  tree.Remove("id-mike");
  EXPECT_EQ(Rows(), (Texts{"Able", "Bravo", "Yankee"}));
  {
    TreeControl::UpdateGuard batch(tree);
    tree.Remove("id-zeta");
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    for (int i = 0; i < 50; ++i) tree.AddChild("id-zeta", "", "n" + std::to_string(i), 2);
    Settle();  // a view that paints during the batch sees an empty model
    EXPECT_EQ(model.rowCount(), 0);
  }
  EXPECT_EQ(Rows(), (Texts{"Able", "Yankee", "Zeta"}));
  EXPECT_EQ(model.rowCount(Index("id-zeta")), 50);
  tree.AddChildren(tree.Find("id-zeta"), {{"", "m1"}, {"", "m2"}});
  EXPECT_EQ(model.rowCount(Index("id-zeta")), 52);
  tree.RemoveChildren(tree.Find("id-zeta"));
  EXPECT_EQ(model.rowCount(Index("id-zeta")), 0);
  tree.Clear();
  tree.Add("id-new", "New");
  EXPECT_EQ(Rows(), (Texts{"New"}));
}

TEST_F(TreeModelTest, ViewAndControlShareSelectionExpansionAndEnabledState) {
  Node* zeta = tree.Find("id-zeta");
  tree.SetSelectedItem(zeta->Child(1));
  EXPECT_EQ(view.currentIndex(), model.IndexFromNode(zeta->Child(1)));
  view.setCurrentIndex(Index("id-alpha"));
  EXPECT_EQ(tree.SelectedItem(), tree.Find("id-alpha"));
  view.collapse(Index("id-zeta"));
  EXPECT_EQ(zeta->Expanded(), false);
  zeta->SetExpanded(true);
  // A batch reload keeps what the control says is expanded and selected.
  tree.BeginUpdate();
  tree.AddChild("id-zeta", "", "z3");
  tree.EndUpdate();
  EXPECT_EQ(std::pair(view.isExpanded(Index("id-zeta")), view.currentIndex()),
            std::pair(true, Index("id-alpha")));
  // Removing the selected node leaves nothing selected, whatever the view would pick.
  tree.Remove("id-alpha");
  EXPECT_EQ(std::pair(tree.SelectedItem(), view.selectionModel()->hasSelection()),
            std::pair(static_cast<Node*>(nullptr), false));
  tree.SetEnabled(false);
  EXPECT_EQ(std::pair(view.isEnabled(), model.flags(Index("id-zeta")).testFlag(Qt::ItemIsEnabled)),
            std::pair(false, false));
}

// Catches a count that lags behind reading, marking or deleting, a message that stays bold once
// read, and a reload (a check, a subscription) that folds sources, loses the selection or hands
// it to whatever row the view picks.
TEST_F(TreeModelTest, UnreadCountsFollowAndReloadsKeepWhatTheUserChose) {
  model.ShowUnreadCounts();
  Node* zeta = tree.Find("id-zeta");
  const auto z2Bold = [&] { return model.index(1, 0, Index("id-zeta")).data(Qt::FontRole).value<QFont>().bold(); };
  EXPECT_EQ(Rows(), (Texts{"Alpha (1)", "Zeta (1)"}));
  EXPECT_EQ(Index("id-zeta").data(Qt::EditRole).toString().toStdString(), "Zeta");
  zeta->Child(1)->SetImage(MessageTreeImage::Unread);  // its bold flag stays off
  EXPECT_EQ(std::pair(Rows().at(1), z2Bold()), std::pair(std::string("Zeta (2)"), true));
  tree.Remove(zeta->Child(0));
  tree.AddChild("id-alpha", "", "a2", MessageTreeImage::Read);
  EXPECT_EQ(Rows(), (Texts{"Alpha (1)", "Zeta (1)"}));

  zeta->Child(0)->SetTag("g-z2");
  view.collapse(Index("id-alpha"));
  view.setCurrentIndex(model.IndexFromNode(zeta->Child(0)));
  const auto reload = [&](const std::string& tag) {  // as a check does it: rows disabled meanwhile
    tree.SetEnabled(false);
    {
      TreeControl::UpdateGuard batch(tree);
      tree.Remove("id-zeta");
      tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
      tree.AddChild("id-zeta", "", "other")->SetTag("g-other");
      tree.AddChild("id-zeta", "", "z2")->SetTag(tag);
    }
    tree.SetEnabled(true);
    Settle();
  };
  const auto state = [&] {
    const Node* selected = tree.SelectedItem();
    return std::tuple(view.isExpanded(Index("id-zeta")), view.isExpanded(Index("id-alpha")),
                      selected ? selected->Text() : "none",
                      view.selectionModel()->selectedIndexes().value(0).data().toString().toStdString());
  };
  reload("g-z2");
  EXPECT_EQ(state(), std::tuple(true, false, "z2", "z2"));
  reload("g-new");  // the selected message is gone: its source takes the selection
  EXPECT_EQ(state(), std::tuple(true, false, "Zeta", "Zeta"));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, {5, view.viewport()->height() - 5});
  EXPECT_EQ(state(), std::tuple(true, false, "Zeta", "Zeta"));  // the free space below the rows
  // Nothing selected: the row the view makes current when it gets the focus is no choice.
  tree.SetSelectedItem(nullptr);
  view.clearFocus();
  view.setFocus(Qt::TabFocusReason);
  Settle();
  EXPECT_EQ(tree.SelectedItem(), nullptr);
}

// F2 goes to the control's key handlers (press, then release); the view's editor ends the edit,
// its Return stays its own, and Escape backs out without the end-of-edit handler. Clicks: frmMainTest, in the main window.
TEST_F(TreeModelTest, F2ReachesTheControlAndTheViewsEditorEndsTheEdit) {
  Texts events;
  tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
  tree.SetOnKeyDown([&](int key, int) { events.push_back("down " + std::to_string(key)); });
  tree.SetOnKeyUp([&](int key, int) {
    events.push_back("key " + std::to_string(key));
    if (key == TreeControl::KeyF2) tree.StartLabelEdit();
  });
  tree.SetOnAfterLabelEdit([&](auto& event) { events.push_back("edit " + event.newText); });
  view.setFocus();
  tree.SetSelectedItem(tree.Find("id-zeta"));
  for (const auto& [text, key] : {std::pair("Typed", Qt::Key_Escape), {"Omega", Qt::Key_Return}}) {
    QTest::keyClick(&view, Qt::Key_F2);
    Settle();
    auto* editor = qobject_cast<QLineEdit*>(view.indexWidget(Index("id-zeta")));
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, key);
    Settle();
  }
  EXPECT_EQ(events, (Texts{"down 113", "key 113", "down 113", "key 113", "edit Omega"}));
  EXPECT_EQ(std::pair(tree.EditingNode(), tree.Find("id-zeta")->Text()),
            std::pair(static_cast<Node*>(nullptr), std::string("Omega")));
}

// Catches a source that cannot be unfolded (from the keyboard or the mouse) before its messages
// are read, a count that stays stale or missing while they are not, and a reload that loses a
// selected message of a folded source.
TEST(TreeModelOnDemand, SourcesUnfoldFromKeysAndMouseAndCountWithoutTheirMessages) {
  // No model tester here: it would read every node's children as it walks the model.
  TreeControl tree{"tvMessages"};
  TreeModel model{tree};
  QTreeView view;
  model.AttachView(&view);
  view.show();
  const auto Index = [&](const std::string& key) { return model.IndexFromNode(tree.Find(key)); };
  const auto Rows = [&] {
    Texts texts;
    for (int row = 0; row < model.rowCount(); ++row)
      texts.push_back(model.index(row, 0).data().toString().toStdString());
    return texts;
  };
  std::map<std::string, TreeModel::SourceCounts> counts{{"id-b", {3, 5}}, {"id-c", {0, 0}}};
  model.ShowUnreadCounts();
  model.SetCountLookup([&](const Node& node) -> std::optional<TreeModel::SourceCounts> {
    auto it = counts.find(node.Key());
    return it == counts.end() ? std::nullopt : std::optional(it->second);
  });
  tree.SetChildLoader([](Node& node) {
    node.Tree().AddChildren(&node, {{"", node.Text() + "-1", 2, "g1"}, {"", "x", 3, "g2"}});
  });
  for (const char* key : {"id-b", "id-c", "id-d", "id-e"})
    tree.Add(key, key + 3, MessageTreeImage::Source)->SetChildrenOnDemand(true);
  Settle();
  EXPECT_EQ(Rows(), (Texts{"b (3)", "c", "d", "e"}));
  EXPECT_EQ(std::tuple(model.hasChildren(Index("id-b")), model.hasChildren(Index("id-c")),
                       model.hasChildren(Index("id-d"))),
            std::tuple(true, false, true));
  counts["id-d"] = {1, 1};
  model.CountChanged("id-d");
  EXPECT_EQ(Rows().at(2), "d (1)");

  view.setFocus();
  const auto unfold = [&](const std::string& key, auto how) {
    view.setCurrentIndex(Index(key));
    how();
    Settle();
    const Node* node = tree.Find(key);
    return std::tuple(view.isExpanded(Index(key)), node->Expanded(), node->ChildCount());
  };
  const auto expected = std::tuple(true, true, std::size_t{2});
  EXPECT_EQ(unfold("id-b", [&] { QTest::keyClick(&view, Qt::Key_Right); }), expected);
  EXPECT_EQ(unfold("id-d", [&] { QTest::keyClick(&view, Qt::Key_Plus); }), expected);
  EXPECT_EQ(unfold("id-e", [&] { QTest::keyClick(&view, Qt::Key_Asterisk); }), expected);
  // Read messages count themselves: one unread of two.
  EXPECT_EQ(Rows(), (Texts{"b (1)", "c", "d (1)", "e (1)"}));
  QTest::keyClick(&view, Qt::Key_Left);
  Settle();
  EXPECT_EQ(std::pair(tree.Find("id-e")->ChildCount(), Rows().at(3)), std::pair(std::size_t{0}, std::string("e")));
  const QRect row = view.visualRect(Index("id-e"));
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, {row.left() - view.indentation() / 2, row.center().y()});
  Settle();
  EXPECT_EQ(std::pair(view.isExpanded(Index("id-e")), tree.Find("id-e")->ChildCount()),
            std::pair(true, std::size_t{2}));

  // A reload puts the sources back unread; the selected message is read again with its source.
  view.setCurrentIndex(model.IndexFromNode(tree.Find("id-d")->Child(1)));
  view.collapse(Index("id-d"));
  {
    TreeControl::UpdateGuard batch(tree);
    tree.Clear();
    for (const char* key : {"id-b", "id-d"})
      tree.Add(key, key + 3, MessageTreeImage::Source)->SetChildrenOnDemand(true);
  }
  Settle();
  EXPECT_EQ(std::tuple(tree.SelectedItem() ? tree.SelectedItem()->Text() : "none",
                       view.isExpanded(Index("id-b")), tree.Find("id-d")->Expanded()),
            std::tuple("x", true, true));  // the view unfolds to show the selection
}

}  // namespace
