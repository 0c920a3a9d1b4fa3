#include "presentation/frmOptions.h"

#include "support/DataFolder.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The panel's controls reach PanelActions; what the commands do is pinned in PanelActionsTest.
class OptionsPanelTest : public TestData::DataFolderTest {
 protected:
  void SetUp() override {
    AddSource("Letters", "http://feeds.test/letters", {{"g1", "First"}});
    panel = std::make_unique<frmOptions>(host);
    panel->show();
  }

  TestSupport::FakeDocumentHost host;
  std::unique_ptr<frmOptions> panel;
};

TEST_F(OptionsPanelTest, OpensWithTheSourcesLoadedAndItsItemsRunTheirCommands) {
  EXPECT_EQ(TestData::Messages(panel->Tree(), panel->Tree().TopLevelAt(0)->Key()).size(), 1u);
  QSignalSpy settings(panel.get(), &frmOptions::SettingsRequested);
  QTest::mouseClick(panel->OptionItem("opt_settings"), Qt::LeftButton);
  QTest::mouseClick(panel->OptionItem("help_email"), Qt::LeftButton);
  EXPECT_EQ(settings.count(), 1);
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"mailto:support@quillpost.example"});
}

}  // namespace
