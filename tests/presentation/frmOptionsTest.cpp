#include "presentation/frmOptions.h"

#include "core/DocumentHost.h"
#include "core/TreeModel.h"
#include "core/mAppFunctions.h"
#include "presentation/PanelTestSupport.h"
#include "support/FakeServices.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;

namespace {

class NoDocuments : public IDocumentHost {
 public:
  bool FocusDocument(const std::string&) override { return false; }
  void OpenDocument(const std::string&, const std::string&, const std::string&) override {}
  bool CloseDocument(const std::string&) override { return false; }
};

class OptionsPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    PanelTests::AddSource("Letters", "http://feeds.test/letters", {{"g1", "First"}});
    panel = std::make_unique<frmOptions>(host);
    panel->resize(280, 600);
    panel->show();
    QCoreApplication::processEvents();
  }

  FakePlatform platform;
  NoDocuments host;
  std::unique_ptr<frmOptions> panel;
};

}  // namespace

TEST_F(OptionsPanelTest, OptionBarHoldsTheTreeAndTheKeyedItems) {
  std::vector<std::string> groups;
  for (const char* name : {"group_Messages", "group_Options", "group_Help"}) {
    auto* header = panel->findChild<QToolButton*>(name);
    ASSERT_NE(header, nullptr) << name;
    groups.push_back(header->text().toStdString());
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"Messages", "Options", "Help"}));

  std::vector<std::string> items;
  for (const char* key :
       {"opt_scheduler", "opt_settings", "help_file", "help_email", "help_website"}) {
    QToolButton* item = panel->OptionItem(key);
    ASSERT_NE(item, nullptr) << key;
    items.push_back(item->text().toStdString());
    EXPECT_EQ(item->font().family(), QString("Verdana")) << key;
    EXPECT_DOUBLE_EQ(item->font().pointSizeF(), 8.25) << key;
    EXPECT_EQ(item->icon().isNull(), false) << key;
  }
  EXPECT_EQ(items, (std::vector<std::string>{"Scheduler", "Settings", "Help File", "Contact Us",
                                             "Visit our Website"}));

  QTreeView* tree = panel->TreeView();
  EXPECT_EQ(tree->objectName(), QString("tvMessages"));
  EXPECT_EQ(tree->parentWidget()->objectName(), QString("picMsgContainer"));
  ASSERT_EQ(panel->Tree().TopLevelCount(), 1u);
  EXPECT_EQ(panel->Tree().TopLevelAt(0)->ChildCount(), 1u);
  EXPECT_EQ(panel->Model().rowCount(), 1);
}

TEST_F(OptionsPanelTest, ClickedItemsRunTheirCommands) {
  QSignalSpy settings(panel.get(), &frmOptions::SettingsRequested);
  for (const char* key :
       {"opt_scheduler", "opt_settings", "help_file", "help_email", "help_website"})
    QTest::mouseClick(panel->OptionItem(key), Qt::LeftButton);

  EXPECT_EQ(settings.count(), 1);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Feature Under Development!", "Quillpost", 0},
                {"Application failed to find Help File. Either Help file is not installed or "
                 "missing.",
                 "Help File not found!", 48}}));
  EXPECT_EQ(platform.shell.opened, (std::vector<std::string>{"mailto:support@quillpost.example",
                                                             "https://quillpost.example/"}));
}

TEST_F(OptionsPanelTest, MessagesGroupCollapsesAndOpensAgain) {
  auto* header = panel->findChild<QToolButton*>("group_Messages");
  header->click();
  EXPECT_EQ(panel->TreeView()->isVisible(), false);
  header->click();
  EXPECT_EQ(panel->TreeView()->isVisible(), true);
}
