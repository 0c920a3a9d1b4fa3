#include "presentation/frmOptions.h"

#include "core/TreeModel.h"
#include "inbox/mInbox.h"
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

// Catches a panel that reads every inbox at start to show the counts, shows none for sources it
// has not read, or lets them fall behind the store.
TEST_F(OptionsPanelTest, FoldedSourcesShowTheirCountsWithoutBeingRead) {
  const std::string id = AddSource("Letters", "http://feeds.test/letters", {{"g1", "A"}, {"g2", "B"}});
  TestSupport::FakeDocumentHost host;
  const auto shown = [](frmOptions& panel) {
    return panel.Model().index(0, 0).data().toString().toStdString();
  };
  {
    frmOptions panel(host);
    EXPECT_EQ(shown(panel), "Letters");  // counted on the worker, known a moment later
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(panel) == "Letters (2)"; }));
    mInbox::SourceID = id;
    mInbox::CurrentItem.guid = "g1";
    mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead));
    EXPECT_EQ(std::pair(shown(panel), panel.Tree().Find(id)->ChildrenPending()),
              std::pair(std::string("Letters (1)"), true));
  }
  frmOptions again(host);  // the first one kept the counts for the next start
  EXPECT_EQ(shown(again), "Letters (1)");
}

}  // namespace
