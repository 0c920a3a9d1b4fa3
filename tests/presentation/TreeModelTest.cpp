#include "core/TreeModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFont>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Node = TreeControl::Node;

// The tester reports through warnings of its own category; collect them as failures.
std::vector<std::string>* g_testerFailures = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void CollectTesterFailures(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
  if (g_testerFailures && context.category &&
      QByteArray(context.category).startsWith("qt.modeltest")) {
    g_testerFailures->push_back(msg.toStdString());
    return;
  }
  if (g_previousHandler) g_previousHandler(type, context, msg);
}

QIcon SolidIcon(Qt::GlobalColor color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(color);
  return QIcon(pixmap);
}

std::vector<std::string> RowTexts(const QAbstractItemModel& model, const QModelIndex& parent = {}) {
  std::vector<std::string> texts;
  for (int row = 0; row < model.rowCount(parent); ++row)
    texts.push_back(model.index(row, 0, parent).data().toString().toStdString());
  return texts;
}

// A message tree shown by a model, checked by the model tester and shown in a tree view.
class TreeModelTest : public ::testing::Test {
 protected:
  TreeControl tree{"tvMessages"};
  std::unique_ptr<TreeModel> model;
  std::unique_ptr<QAbstractItemModelTester> tester;
  QTreeView view;
  QList<QIcon> icons{QIcon(), SolidIcon(Qt::blue), SolidIcon(Qt::red), SolidIcon(Qt::gray)};
  std::vector<std::string> failures;

  void SetUp() override {
    g_testerFailures = &failures;
    g_previousHandler = qInstallMessageHandler(CollectTesterFailures);
    tree.SetSorted(false);
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source)->SetTag("link-zeta");
    tree.AddChild("id-zeta", "", "z1", MessageTreeImage::Unread)->SetBold(true);
    tree.AddChild("id-zeta", "", "z2", MessageTreeImage::Read);
    tree.Add("id-alpha", "Alpha", MessageTreeImage::Source);
    tree.AddChild("id-alpha", "", "a1", MessageTreeImage::Unread)->SetBold(true);
    tree.SetSorted(true);

    model = std::make_unique<TreeModel>(tree);
    model->SetImageList(icons);
    tester = std::make_unique<QAbstractItemModelTester>(
        model.get(), QAbstractItemModelTester::FailureReportingMode::Warning);
    model->AttachView(&view);
    view.resize(300, 400);
    view.show();
    view.expandAll();
    QCoreApplication::processEvents();
  }

  void TearDown() override {
    tester.reset();
    qInstallMessageHandler(g_previousHandler);
    g_testerFailures = nullptr;
    EXPECT_EQ(failures, std::vector<std::string>{});
  }

  QModelIndex Index(const std::string& key) { return model->IndexFromNode(tree.Find(key)); }
  QModelIndex ChildIndex(const std::string& key, int row) {
    return model->index(row, 0, Index(key));
  }
  void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
};

TEST_F(TreeModelTest, ShowsSortedSourcesMessagesInOrderBoldAndImages) {
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Alpha", "Zeta"}));
  EXPECT_EQ(RowTexts(*model, Index("id-zeta")), (std::vector<std::string>{"z1", "z2"}));

  const QModelIndex z1 = ChildIndex("id-zeta", 0);
  EXPECT_EQ(z1.data(Qt::FontRole).value<QFont>().bold(), true);
  EXPECT_EQ(ChildIndex("id-zeta", 1).data(Qt::FontRole).isValid(), false);
  EXPECT_EQ(z1.data(Qt::DecorationRole).value<QIcon>().cacheKey(), icons[2].cacheKey());
  EXPECT_EQ(Index("id-zeta").data(Qt::DecorationRole).value<QIcon>().cacheKey(),
            icons[1].cacheKey());
  EXPECT_EQ(z1.data(TreeModel::ImageRole).toInt(), MessageTreeImage::Unread);
  EXPECT_EQ(Index("id-zeta").data(TreeModel::TagRole).toString(), QString("link-zeta"));
  EXPECT_EQ(Index("id-zeta").data(TreeModel::KeyRole).toString(), QString("id-zeta"));
  EXPECT_EQ(model->parent(z1), Index("id-zeta"));

  // Marking read as the panel does.
  Node* z1Node = model->NodeFromIndex(z1);
  ASSERT_EQ(z1Node, tree.Find("id-zeta")->Child(0));
  z1Node->SetImage(MessageTreeImage::Read);
  z1Node->SetBold(false);
  EXPECT_EQ(z1.data(Qt::DecorationRole).value<QIcon>().cacheKey(), icons[3].cacheKey());
  EXPECT_EQ(z1.data(Qt::FontRole).isValid(), false);
  z1Node->SetImage(9);  // outside the image list
  EXPECT_EQ(z1.data(Qt::DecorationRole).isValid(), false);
}

TEST_F(TreeModelTest, StaysConsistentThroughAddsRemovesMovesAndResets) {
  tree.Add("id-mike", "Mike");
  tree.AddChild("id-mike", "", "m1");
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Alpha", "Mike", "Zeta"}));

  tree.Find("id-alpha")->SetText("Yankee");  // moves down
  tree.Find("id-zeta")->SetText("Bravo");    // moves up
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Bravo", "Mike", "Yankee"}));

  tree.SetSorted(false);
  tree.Add("id-able", "Able");
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Bravo", "Mike", "Yankee", "Able"}));
  tree.SetSorted(true);
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Able", "Bravo", "Mike", "Yankee"}));

  tree.Remove(tree.Find("id-zeta")->Child(0));
  EXPECT_EQ(RowTexts(*model, Index("id-zeta")), (std::vector<std::string>{"z2"}));
  tree.Remove("id-mike");
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Able", "Bravo", "Yankee"}));

  {
    TreeControl::UpdateGuard batch(tree);
    tree.Remove("id-zeta");
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    for (int i = 0; i < 50; ++i) tree.AddChild("id-zeta", "", "n" + std::to_string(i), 2);
    Settle();  // a view that paints during the batch sees an empty model
    EXPECT_EQ(model->rowCount(), 0);
  }
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Able", "Yankee", "Zeta"}));
  EXPECT_EQ(model->rowCount(Index("id-zeta")), 50);

  tree.Clear();
  EXPECT_EQ(model->rowCount(), 0);
  tree.Add("id-new", "New");
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"New"}));
  Settle();
}

TEST_F(TreeModelTest, ViewFollowsSelectionAndExpansionBothWays) {
  Node* zeta = tree.Find("id-zeta");
  tree.SetSelectedItem(zeta->Child(1));
  EXPECT_EQ(view.currentIndex(), model->IndexFromNode(zeta->Child(1)));

  view.setCurrentIndex(Index("id-alpha"));
  EXPECT_EQ(tree.SelectedItem(), tree.Find("id-alpha"));

  zeta->SetExpanded(false);
  EXPECT_EQ(view.isExpanded(Index("id-zeta")), false);
  view.expand(Index("id-zeta"));
  EXPECT_EQ(zeta->Expanded(), true);

  // A batch reload keeps what the control says is expanded and selected.
  tree.BeginUpdate();
  tree.AddChild("id-zeta", "", "z3");
  tree.EndUpdate();
  EXPECT_EQ(view.isExpanded(Index("id-zeta")), true);
  EXPECT_EQ(view.currentIndex(), Index("id-alpha"));

  // Removing the selected node leaves nothing selected, whatever the view would pick.
  tree.Remove("id-alpha");
  EXPECT_EQ(tree.SelectedItem(), nullptr);
  EXPECT_EQ(view.selectionModel()->hasSelection(), false);
}

TEST_F(TreeModelTest, DisabledControlShowsItemsNotEnabledAndTakesNoInput) {
  int clicks = 0;
  tree.SetOnDblClick([&] { ++clicks; });
  tree.SetEnabled(false);
  EXPECT_EQ(model->flags(Index("id-zeta")).testFlag(Qt::ItemIsEnabled), false);
  EXPECT_EQ(view.isEnabled(), false);
  const QRect rect = view.visualRect(Index("id-zeta"));
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, rect.center());
  Settle();
  EXPECT_EQ(clicks, 0);

  tree.SetEnabled(true);
  EXPECT_EQ(model->flags(Index("id-zeta")).testFlag(Qt::ItemIsEnabled), true);
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, rect.center());
  Settle();
  EXPECT_EQ(clicks, 1);
}

TEST_F(TreeModelTest, SetDataRunsEndOfEditAndHonoursCancel) {
  tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
  std::string proposed;
  bool refuse = true;
  tree.SetOnAfterLabelEdit([&](TreeControl::LabelEditEvent& event) {
    proposed = event.newText;
    event.cancel = refuse;
  });
  EXPECT_EQ(model->flags(Index("id-zeta")).testFlag(Qt::ItemIsEditable), true);
  EXPECT_EQ(model->flags(ChildIndex("id-zeta", 0)).testFlag(Qt::ItemIsEditable), false);

  EXPECT_FALSE(model->setData(Index("id-zeta"), QString("Omega")));
  EXPECT_EQ(proposed, "Omega");
  EXPECT_EQ(Index("id-zeta").data().toString(), QString("Zeta"));
  EXPECT_FALSE(model->setData(ChildIndex("id-zeta", 0), QString("renamed")));
  EXPECT_EQ(ChildIndex("id-zeta", 0).data().toString(), QString("z1"));

  refuse = false;
  EXPECT_TRUE(model->setData(Index("id-zeta"), QString("Able")));
  EXPECT_EQ(RowTexts(*model), (std::vector<std::string>{"Able", "Alpha"}));
}

TEST_F(TreeModelTest, F2OpensEditorThroughTheControlAndEscapeBacksOut) {
  tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
  std::vector<int> keys;
  tree.SetOnKeyUp([&](int key, int) {
    keys.push_back(key);
    if (key == TreeControl::KeyF2) tree.StartLabelEdit();
  });
  int handlerRuns = 0;
  tree.SetOnAfterLabelEdit([&](TreeControl::LabelEditEvent&) { ++handlerRuns; });

  view.setFocus();
  tree.SetSelectedItem(tree.Find("id-zeta"));
  QTest::keyClick(&view, Qt::Key_F2);
  Settle();
  EXPECT_EQ(keys, (std::vector<int>{TreeControl::KeyF2}));
  ASSERT_EQ(tree.EditingNode(), tree.Find("id-zeta"));
  auto* editor = qobject_cast<QLineEdit*>(view.indexWidget(Index("id-zeta")));
  ASSERT_NE(editor, nullptr);

  editor->setText("Typed");
  QTest::keyClick(editor, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(tree.EditingNode(), nullptr);
  EXPECT_EQ(handlerRuns, 0);
  EXPECT_EQ(tree.Find("id-zeta")->Text(), "Zeta");

  QTest::keyClick(&view, Qt::Key_F2);
  Settle();
  editor = qobject_cast<QLineEdit*>(view.indexWidget(Index("id-zeta")));
  ASSERT_NE(editor, nullptr);
  editor->setText("Omega");
  QTest::keyClick(editor, Qt::Key_Return);
  Settle();
  EXPECT_EQ(handlerRuns, 1);
  EXPECT_EQ(tree.Find("id-zeta")->Text(), "Omega");
}

TEST_F(TreeModelTest, RightClickReportsButtonAndHitTestFindsTheNodeUnderThePointer) {
  std::vector<std::string> got;
  tree.SetOnMouseUp([&](int button, int, int x, int y) {
    const Node* hit = tree.HitTest(x, y);
    got.push_back(std::to_string(button) + " " + (hit ? hit->Text() : std::string("-")));
  });
  const QRect rect = view.visualRect(ChildIndex("id-alpha", 0));
  QTest::mouseClick(view.viewport(), Qt::RightButton, {}, rect.center());
  QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(5, view.viewport()->height() - 2));
  Settle();
  EXPECT_EQ(got, (std::vector<std::string>{"2 a1", "2 -"}));
}

TEST_F(TreeModelTest, ModelOutlivingItsTreeShowsNothing) {
  auto shortLived = std::make_unique<TreeControl>();
  shortLived->Add("k", "K");
  TreeModel orphan(*shortLived);
  QAbstractItemModelTester check(&orphan, QAbstractItemModelTester::FailureReportingMode::Warning);
  EXPECT_EQ(orphan.rowCount(), 1);
  shortLived.reset();
  EXPECT_EQ(orphan.Tree(), nullptr);
  EXPECT_EQ(orphan.rowCount(), 0);
}

}  // namespace
