#include "presentation/PanelActions.h"

#include "core/DocumentHost.h"
#include "core/mAppFunctions.h"
#include "presentation/PanelTestSupport.h"
#include "subscriptions/SourceTree.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

using TestSupport::FakePlatform;
using TestSupport::ShownBox;
using namespace PanelTests;

namespace {

using Node = TreeControl::Node;

class RecordingHost : public IDocumentHost {
 public:
  bool FocusDocument(const std::string& itemId) override {
    focused.push_back(itemId);
    return open.count(itemId) > 0;
  }
  void OpenDocument(const std::string& itemId, const std::string& caption,
                    const std::string& /*pagePath*/) override {
    opened.emplace_back(itemId, caption);
    open.insert(itemId);
  }
  bool CloseDocument(const std::string& itemId) override { return open.erase(itemId) > 0; }

  std::vector<std::pair<std::string, std::string>> opened;
  std::vector<std::string> focused;
  std::set<std::string> open;
};

// Two sources, "Letters" with an unread and a read message and "Notes" without any, shown in a
// tree with the panel's handlers.
class PanelActionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    InstallTemplate(platform);
    lettersId = AddSource(
        "Letters", "http://feeds.test/letters",
        {{"g-new", "Five words in this title"}, {"g-old", "Old one", "Fri, 04 Dec 2026", true}});
    notesId = AddSource("Notes", "http://feeds.test/notes");
    tree.SetSorted(true);
    ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
    PanelActions::Attach(tree, host, [this](int x, int y) { popups.emplace_back(x, y); });
    tree.SetHitTest([this](int, int y) { return y >= 0 ? hitNode : nullptr; });
  }

  Node* Message(const std::string& guid) {
    for (Node* node : tree.NodeList())
      if (!node->IsTopLevel() && node->Tag() == guid) return node;
    return nullptr;
  }

  FakePlatform platform;
  RecordingHost host;
  TreeControl tree{"tvMessages"};
  std::string lettersId, notesId;
  Node* hitNode = nullptr;
  std::vector<std::pair<int, int>> popups;
};

}  // namespace

TEST_F(PanelActionsTest, DoubleClickOnReadMessageOpensItAndChangesNothing) {
  Node* node = Message("g-old");
  ASSERT_NE(node, nullptr);
  tree.SetSelectedItem(node);

  tree.RaiseDblClick();

  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(node->Image(), MessageTreeImage::Read);
  EXPECT_EQ(StoredRead(lettersId, "g-old"), 1);
}

TEST_F(PanelActionsTest, MessageThatCannotBeShownStaysUnread) {
  Node* node = Message("g-new");
  tree.SetSelectedItem(node);
  mInbox::SourceID = lettersId;
  mInbox::CurrentItem.guid = "g-new";
  ASSERT_TRUE(mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Delete)));

  tree.RaiseDblClick();

  EXPECT_TRUE(host.opened.empty());
  EXPECT_EQ(node->Image(), MessageTreeImage::Unread);
  EXPECT_TRUE(node->Bold());
}

TEST_F(PanelActionsTest, EnterOpensASelectedMessageButNeverChecksASource) {
  Node* node = Message("g-new");
  tree.SetSelectedItem(node);
  tree.RaiseKeyUp(PanelActions::kKeyReturn, 0);
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.opened[0].first, "g-new");
  EXPECT_EQ(node->Image(), MessageTreeImage::Read);
  EXPECT_FALSE(node->Bold());
  EXPECT_EQ(StoredRead(lettersId, "g-new"), 1);

  tree.SetSelectedItem(tree.Find(notesId));
  tree.RaiseKeyUp(PanelActions::kKeyReturn, 0);
  EXPECT_TRUE(platform.http.fetched.empty());
  EXPECT_EQ(host.opened.size(), 1u);
}

TEST_F(PanelActionsTest, DoubleClickWithoutSelectionDoesNothing) {
  tree.SetSelectedItem(nullptr);
  tree.RaiseDblClick();
  EXPECT_TRUE(host.opened.empty());
  EXPECT_TRUE(platform.http.fetched.empty());
}

TEST_F(PanelActionsTest, DoubleClickOnSourceChecksOnlyThatSource) {
  platform.http.answers["http://feeds.test/notes"] = {
      true,
      200,
      "<rss version=\"2.0\"><channel><item><title>Fresh</title><guid>n1</guid>"
      "<pubDate>Sat, 05 Dec 2026 10:00:00 GMT</pubDate></item></channel></rss>",
      {}};
  tree.SetSelectedItem(tree.Find(notesId));

  tree.RaiseDblClick();

  EXPECT_EQ(platform.http.fetched, std::vector<std::string>{"http://feeds.test/notes"});
  ASSERT_NE(tree.Find(notesId), nullptr);
  EXPECT_EQ(tree.Find(notesId)->ChildCount(), 1u);
  EXPECT_TRUE(tree.Enabled());
  EXPECT_TRUE(host.opened.empty());
}

TEST_F(PanelActionsTest, F2StartsEditingOnlyASourceTitle) {
  tree.SetSelectedItem(Message("g-new"));
  tree.RaiseKeyUp(TreeControl::KeyF2, 0);
  EXPECT_EQ(tree.EditingNode(), nullptr);
  EXPECT_FALSE(tree.StartLabelEdit(Message("g-new")));

  tree.SetSelectedItem(tree.Find(lettersId));
  tree.RaiseKeyUp(112, 0);
  EXPECT_EQ(tree.EditingNode(), nullptr);
  tree.RaiseKeyUp(TreeControl::KeyF2, 0);
  EXPECT_EQ(tree.EditingNode(), tree.Find(lettersId));
}

TEST_F(PanelActionsTest, BlankTitleIsRefusedWithoutAsking) {
  Node* node = tree.Find(lettersId);
  ASSERT_TRUE(tree.StartLabelEdit(node));
  EXPECT_FALSE(tree.EndLabelEdit("   ", false));

  EXPECT_TRUE(platform.messageBox.shown.empty());
  EXPECT_EQ(node->Text(), "Letters");
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes"}));
}

TEST_F(PanelActionsTest, RenameOfASourceGoneFromTheFileSaysSoAndTheEditStands) {
  Node* node = tree.Find(lettersId);
  mSubscriptions::CurrentSource.Link = "http://feeds.test/letters";
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  ASSERT_TRUE(tree.StartLabelEdit(node));
  platform.messageBox.answers = {Services::vbYes};

  EXPECT_TRUE(tree.EndLabelEdit("Renamed", false));

  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown[1],
            (ShownBox{PanelActions::kRenameFailedText, "Failed to change Title!", 48}));
  EXPECT_EQ(node->Text(), "Renamed");
  EXPECT_EQ(StoredTitles(), std::vector<std::string>{"Notes"});
}

TEST_F(PanelActionsTest, RightClickOpensThePopupOnlyForAMessage) {
  Node* message = Message("g-old");
  Node* source = tree.Find(lettersId);

  hitNode = message;
  tree.SetSelectedItem(source);
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 5, 7);
  EXPECT_EQ(tree.SelectedItem(), message);  // the message under the pointer is what it acts on
  EXPECT_EQ(popups, (std::vector<std::pair<int, int>>{{5, 7}}));

  hitNode = source;
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 5, 7);
  EXPECT_EQ(popups.size(), 1u);

  hitNode = nullptr;  // empty space: the selected node decides
  tree.SetSelectedItem(message);
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 1, 200);
  EXPECT_EQ(popups.size(), 2u);
  tree.SetSelectedItem(source);
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 1, 200);
  EXPECT_EQ(popups.size(), 2u);

  hitNode = message;
  tree.RaiseMouseUp(TreeControl::ButtonLeft, 0, 5, 7);
  EXPECT_EQ(popups.size(), 2u);
  EXPECT_EQ(tree.SelectedItem(), source);
}

TEST_F(PanelActionsTest, OptionItemsRouteByKey) {
  int settingsShown = 0;
  const auto settings = [&settingsShown] { ++settingsShown; };

  PanelActions::OptionBarItemClick("opt_scheduler", settings);
  PanelActions::OptionBarItemClick("help_file", settings);
  PanelActions::OptionBarItemClick("help_email", settings);
  PanelActions::OptionBarItemClick("help_website", settings);
  PanelActions::OptionBarItemClick("opt_settings", settings);
  PanelActions::OptionBarItemClick("Opt_Settings", settings);
  PanelActions::OptionBarItemClick("", settings);

  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Feature Under Development!", "Quillpost", 0},
                {"Application failed to find Help File. Either Help file is not installed or "
                 "missing.",
                 "Help File not found!", 48}}));
  EXPECT_EQ(platform.shell.opened, (std::vector<std::string>{"mailto:support@quillpost.example",
                                                             "https://quillpost.example/"}));
  EXPECT_EQ(settingsShown, 1);
}

TEST_F(PanelActionsTest, HelpPageBesideTheProgramIsOpened) {
  TestSupport::WriteAll(platform.environment.programFolder + "/Help.html", "<html></html>");
  TestSupport::WriteAll(platform.environment.appData + "/Quillpost Data/Help.html", "x");

  PanelActions::OpenHelpFile();

  EXPECT_EQ(platform.shell.opened,
            std::vector<std::string>{platform.environment.programFolder + "/Help.html"});
  EXPECT_TRUE(platform.messageBox.shown.empty());
}
