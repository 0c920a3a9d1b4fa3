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
using Texts = std::vector<std::string>;

// The model tester reports through warnings of its own category; they are collected as failures.
Texts* g_testerFailures = nullptr;
QtMessageHandler g_previousHandler = nullptr;
void CollectTesterFailures(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
  if (g_testerFailures && context.category &&
      QByteArray(context.category).startsWith("qt.modeltest")) {
    g_testerFailures->push_back(msg.toStdString());
  } else if (g_previousHandler) {
    g_previousHandler(type, context, msg);
  }
}

QIcon SolidIcon(Qt::GlobalColor color) {
  QPixmap pixmap(16, 16);
  pixmap.fill(color);
  return QIcon(pixmap);
}

Texts RowTexts(const QAbstractItemModel& model, const QModelIndex& parent = {}) {
  Texts texts;
  for (int row = 0; row < model.rowCount(parent); ++row)
    texts.push_back(model.index(row, 0, parent).data().toString().toStdString());
  return texts;
}

void Settle() {
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

// A message tree shown by a model in a tree view, every change checked by the model tester.
class TreeModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_testerFailures = &failures;
    g_previousHandler = qInstallMessageHandler(CollectTesterFailures);
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source)->SetTag("link-zeta");
    tree.AddChild("id-zeta", "", "z1", MessageTreeImage::Unread)->SetBold(true);
    tree.AddChild("id-zeta", "", "z2", MessageTreeImage::Read);
    tree.Add("id-alpha", "Alpha", MessageTreeImage::Source);
    tree.AddChild("id-alpha", "", "a1", MessageTreeImage::Unread);
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
    EXPECT_EQ(failures, Texts{});
  }

  QModelIndex Index(const std::string& key) { return model->IndexFromNode(tree.Find(key)); }
  qint64 IconKey(const QModelIndex& index) {
    return index.data(Qt::DecorationRole).value<QIcon>().cacheKey();
  }

  TreeControl tree{"tvMessages"};
  std::unique_ptr<TreeModel> model;
  std::unique_ptr<QAbstractItemModelTester> tester;
  QTreeView view;
  QList<QIcon> icons{QIcon(), SolidIcon(Qt::blue), SolidIcon(Qt::red), SolidIcon(Qt::gray)};
  Texts failures;
};

TEST_F(TreeModelTest, ShowsTextBoldImageTagAndKeyAndFollowsChanges) {
  const QModelIndex zeta = Index("id-zeta");
  const QModelIndex z1 = model->index(0, 0, zeta);
  EXPECT_EQ(RowTexts(*model, zeta), (Texts{"z1", "z2"}));
  EXPECT_EQ(z1.data(Qt::FontRole).value<QFont>().bold(), true);
  EXPECT_EQ(std::pair(IconKey(zeta), IconKey(z1)),
            std::pair(icons[1].cacheKey(), icons[2].cacheKey()));
  EXPECT_EQ(z1.data(TreeModel::ImageRole).toInt(), MessageTreeImage::Unread);
  EXPECT_EQ(zeta.data(TreeModel::TagRole).toString(), QString("link-zeta"));
  EXPECT_EQ(zeta.data(TreeModel::KeyRole).toString(), QString("id-zeta"));

  Node* z1Node = model->NodeFromIndex(z1);
  ASSERT_EQ(z1Node, tree.Find("id-zeta")->Child(0));
  z1Node->SetImage(MessageTreeImage::Read);
  z1Node->SetBold(false);
  EXPECT_EQ(IconKey(z1), icons[3].cacheKey());
  EXPECT_EQ(z1.data(Qt::FontRole).isValid(), false);
  z1Node->SetImage(9);  // outside the image list
  EXPECT_EQ(z1.data(Qt::DecorationRole).isValid(), false);
}

TEST_F(TreeModelTest, StaysConsistentThroughAddsRemovesMovesAndResets) {
  tree.Add("id-mike", "Mike");
  tree.AddChild("id-mike", "", "m1");
  tree.Find("id-alpha")->SetText("Yankee");  // moves down
  tree.Find("id-zeta")->SetText("Bravo");    // moves up
  EXPECT_EQ(RowTexts(*model), (Texts{"Bravo", "Mike", "Yankee"}));
  tree.SetSorted(false);
  tree.Add("id-able", "Able");
  EXPECT_EQ(RowTexts(*model), (Texts{"Bravo", "Mike", "Yankee", "Able"}));
  tree.SetSorted(true);
  tree.Remove(tree.Find("id-zeta")->Child(0));
  tree.Remove("id-mike");
  EXPECT_EQ(RowTexts(*model), (Texts{"Able", "Bravo", "Yankee"}));
  EXPECT_EQ(RowTexts(*model, Index("id-zeta")), (Texts{"z2"}));
  {
    TreeControl::UpdateGuard batch(tree);
    tree.Remove("id-zeta");
    tree.Add("id-zeta", "Zeta", MessageTreeImage::Source);
    for (int i = 0; i < 50; ++i) tree.AddChild("id-zeta", "", "n" + std::to_string(i), 2);
    Settle();  // a view that paints during the batch sees an empty model
    EXPECT_EQ(model->rowCount(), 0);
  }
  EXPECT_EQ(RowTexts(*model), (Texts{"Able", "Yankee", "Zeta"}));
  EXPECT_EQ(model->rowCount(Index("id-zeta")), 50);
  tree.Clear();
  tree.Add("id-new", "New");
  EXPECT_EQ(RowTexts(*model), (Texts{"New"}));
  Settle();
}

TEST_F(TreeModelTest, ViewAndControlShareSelectionExpansionAndEnabledState) {
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

  tree.SetEnabled(false);
  EXPECT_EQ(view.isEnabled(), false);
  EXPECT_EQ(model->flags(Index("id-zeta")).testFlag(Qt::ItemIsEnabled), false);
}

TEST_F(TreeModelTest, ClicksAndKeysOfTheViewReachTheControlsHandlers) {
  int clicks = 0;
  tree.SetOnDblClick([&] { ++clicks; });
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {},
                     view.visualRect(Index("id-zeta")).center());
  Texts released;
  tree.SetOnMouseUp([&](int button, int, int x, int y) {
    const Node* hit = tree.HitTest(x, y);
    released.push_back(std::to_string(button) + " " + (hit ? hit->Text() : std::string("-")));
  });
  const QRect a1 = view.visualRect(model->index(0, 0, Index("id-alpha")));
  QTest::mouseClick(view.viewport(), Qt::RightButton, {}, a1.center());
  QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(5, view.viewport()->height() - 2));
  Settle();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(released, (Texts{"2 a1", "2 -"}));
}

// F2 goes to the control's key handler, which starts the edit; the view's editor ends it.
TEST_F(TreeModelTest, F2OpensTheEditorThroughTheControlAndEscapeBacksOut) {
  tree.SetLabelEditFilter([](const Node& node) { return node.IsTopLevel(); });
  std::vector<int> keys;
  tree.SetOnKeyUp([&](int key, int) {
    keys.push_back(key);
    if (key == TreeControl::KeyF2) tree.StartLabelEdit();
  });
  Texts proposed;
  tree.SetOnAfterLabelEdit([&](TreeControl::LabelEditEvent& e) { proposed.push_back(e.newText); });
  EXPECT_EQ(model->flags(model->index(0, 0, Index("id-zeta"))).testFlag(Qt::ItemIsEditable), false);
  const auto edit = [&](const QString& text, Qt::Key key) {
    QTest::keyClick(&view, Qt::Key_F2);
    Settle();
    auto* editor = qobject_cast<QLineEdit*>(view.indexWidget(Index("id-zeta")));
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, key);
    Settle();
  };
  view.setFocus();
  tree.SetSelectedItem(tree.Find("id-zeta"));
  edit("Typed", Qt::Key_Escape);
  EXPECT_EQ(std::pair(tree.EditingNode(), tree.Find("id-zeta")->Text()),
            std::pair(static_cast<Node*>(nullptr), std::string("Zeta")));
  edit("Omega", Qt::Key_Return);
  EXPECT_EQ(keys, (std::vector<int>{TreeControl::KeyF2, TreeControl::KeyF2}));
  EXPECT_EQ(proposed, (Texts{"Omega"}));
  EXPECT_EQ(tree.Find("id-zeta")->Text(), "Omega");
}

// Catches a model that reads its tree after the tree is gone.
TEST(TreeModel, ModelOutlivingItsTreeShowsNothing) {
  auto shortLived = std::make_unique<TreeControl>();
  shortLived->Add("k", "K");
  TreeModel orphan(*shortLived);
  EXPECT_EQ(orphan.rowCount(), 1);
  shortLived.reset();
  EXPECT_EQ(orphan.Tree(), nullptr);
  EXPECT_EQ(orphan.rowCount(), 0);
}

}  // namespace
