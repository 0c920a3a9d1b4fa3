#include "presentation/frmOptions.h"

#include "support/DataFolder.h"

#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using OptionsPanelTest = TestData::DataFolderTest;

// The panel loads the sources and its items reach PanelActions, whose test pins what they do.
TEST_F(OptionsPanelTest, OpensWithTheSourcesLoadedAndItsItemsRunTheirCommands) {
  AddSource("Letters", "http://feeds.test/letters", {{"g1", "First"}});
  TestSupport::FakeDocumentHost host;
  frmOptions panel(host);
  EXPECT_EQ(TestData::Messages(panel.Tree(), panel.Tree().TopLevelAt(0)->Key()).size(), 1u);
  QSignalSpy settings(&panel, &frmOptions::SettingsRequested);
  QTest::mouseClick(panel.OptionItem("opt_settings"), Qt::LeftButton);
  QTest::mouseClick(panel.OptionItem("help_email"), Qt::LeftButton);
  EXPECT_EQ(settings.count(), 1);
  EXPECT_EQ(platform.shell.opened, std::vector<std::string>{"mailto:support@quillpost.example"});
}

}  // namespace
