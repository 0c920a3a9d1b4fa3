#include "presentation/PanelActions.h"

#include "inbox/mInbox.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace TestData;
using Node = TreeControl::Node;
using Strings = std::vector<std::string>;
using TestSupport::ShownBox;

const std::string kLettersLink = "http://feeds.test/letters";
const std::string kNotesLink = "http://feeds.test/notes";

// "Letters" with an unread and a read message and "Notes" without any, in a tree with the
// panel's handlers.
class PanelActionsTest : public DataFolderTest {
 protected:
  void SetUp() override {
    InstallTemplate();
    lettersId = AddSource("Letters", kLettersLink,
                          {{"g-new", "New one"}, {"g-old", "Old one", "Fri, 04 Dec 2026", true}});
    notesId = AddSource("Notes", kNotesLink);
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
  Strings Opened() const {
    Strings ids;
    for (const auto& opened : host.opened) ids.push_back(opened.itemId);
    return ids;
  }

  TestSupport::FakeDocumentHost host;
  TreeControl tree{"tvMessages"};
  std::string lettersId, notesId;
  Node* hitNode = nullptr;
  std::vector<std::pair<int, int>> popups;
};

TEST_F(PanelActionsTest, DoubleClickOrEnterOpensAMessageAndMarksItRead) {
  const auto act = [&](Node* node, bool enter) {
    tree.SetSelectedItem(node);
    enter ? tree.RaiseKeyUp(PanelActions::kKeyReturn, 0) : tree.RaiseDblClick();
  };
  act(Message("g-new"), true);
  act(Message("g-old"), false);
  act(tree.Find(notesId), true);  // Enter never checks a source
  act(nullptr, false);

  EXPECT_EQ(Opened(), (Strings{"g-new", "g-old"}));
  EXPECT_EQ(Messages(tree, lettersId),
            (std::vector<Shown>{{"New one", "g-new", 3, false}, {"Old one", "g-old", 3, false}}));
  EXPECT_EQ(std::pair(StoredRead(lettersId, "g-new"), StoredRead(lettersId, "g-old")),
            std::pair(1, 1));
  EXPECT_EQ(platform.http.fetched, Strings{});
}

// Catches marking read a message that no window shows.
TEST_F(PanelActionsTest, MessageThatCannotBeShownStaysUnread) {
  mInbox::SourceID = lettersId;
  mInbox::CurrentItem.guid = "g-new";
  ASSERT_TRUE(mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Delete)));
  tree.SetSelectedItem(Message("g-new"));
  tree.RaiseDblClick();
  EXPECT_EQ(Opened(), Strings{});
  EXPECT_EQ(Messages(tree, lettersId).at(0), (Shown{"New one", "g-new", 2, true}));
}

TEST_F(PanelActionsTest, DoubleClickOnASourceChecksOnlyThatSource) {
  platform.http.answers[kNotesLink] = {true, 200, FeedWithItems({"n1"}), {}};
  tree.SetSelectedItem(tree.Find(notesId));
  tree.RaiseDblClick();
  EXPECT_EQ(platform.http.fetched, Strings{kNotesLink});
  EXPECT_EQ(Messages(tree, notesId), (std::vector<Shown>{{"T n1", "n1", 2, true}}));
  EXPECT_EQ(tree.Enabled(), true);
}

TEST_F(PanelActionsTest, F2RenamesOnlyASourceAndOnlyAfterYes) {
  tree.SetSelectedItem(Message("g-new"));
  tree.RaiseKeyUp(TreeControl::KeyF2, 0);
  EXPECT_EQ(tree.EditingNode(), nullptr);
  Node* notes = tree.Find(notesId);
  tree.SetSelectedItem(notes);
  tree.RaiseKeyUp(112, 0);  // F1
  EXPECT_EQ(tree.EditingNode(), nullptr);

  struct Row {
    std::string typed;
    int answer;
    std::string shown;
    Strings stored;
  };
  const Row rows[] = {
      {"   ", Services::vbYes, "Notes", {"Letters", "Notes"}},  // refused without asking
      {"Daily notes", Services::vbNo, "Notes", {"Letters", "Notes"}},
      {"Daily notes", Services::vbYes, "Daily notes", {"Letters", "Daily notes"}},
  };
  for (const Row& row : rows) {
    tree.RaiseKeyUp(TreeControl::KeyF2, 0);
    ASSERT_EQ(tree.EditingNode(), notes);
    platform.messageBox.answers = {row.answer};
    tree.EndLabelEdit(row.typed, false);
    EXPECT_EQ(std::pair(notes->Text(), StoredTitles()), std::pair(row.shown, row.stored))
        << row.typed << " " << row.answer;
  }
  const ShownBox question{"Do you want to change the title \"Notes\" to \"Daily notes\"?",
                          "Change Title?", 292};
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{question, question}));

  // A source gone from the file: the failure box, and the edit stands until the next load.
  mSubscriptions::CurrentSource.Link = kNotesLink;
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  platform.messageBox.answers = {Services::vbYes};
  tree.RaiseKeyUp(TreeControl::KeyF2, 0);
  EXPECT_EQ(tree.EndLabelEdit("Notes again", false), true);
  EXPECT_EQ(platform.messageBox.shown.back(),
            (ShownBox{PanelActions::kRenameFailedText, "Failed to change Title!", 48}));
  EXPECT_EQ(StoredTitles(), Strings{"Letters"});
}

TEST_F(PanelActionsTest, RightClickOpensThePopupOnlyForAMessage) {
  Node* message = Message("g-old");
  Node* source = tree.Find(lettersId);
  hitNode = message;
  tree.SetSelectedItem(source);
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 5, 7);
  EXPECT_EQ(tree.SelectedItem(), message);  // the message under the pointer is what it acts on
  hitNode = source;
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 5, 8);
  hitNode = nullptr;  // empty space: the selected node decides
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 1, 200);
  tree.SetSelectedItem(source);
  tree.RaiseMouseUp(TreeControl::ButtonRight, 0, 1, 201);
  hitNode = message;
  tree.RaiseMouseUp(TreeControl::ButtonLeft, 0, 5, 9);
  EXPECT_EQ(popups, (std::vector<std::pair<int, int>>{{5, 7}, {1, 200}}));
  EXPECT_EQ(tree.SelectedItem(), source);
}

TEST_F(PanelActionsTest, OptionItemsRouteByKey) {
  int settingsShown = 0;
  for (const char* key : {"opt_scheduler", "help_file", "help_email", "help_website",
                          "opt_settings", "Opt_Settings", ""}) {
    PanelActions::OptionBarItemClick(key, [&settingsShown] { ++settingsShown; });
  }
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Feature Under Development!", "Quillpost", 0},
                {"Application failed to find Help File. Either Help file is not installed or "
                 "missing.",
                 "Help File not found!", 48}}));
  EXPECT_EQ(settingsShown, 1);

  // The help page beside the program, not one in the data folder.
  TestSupport::WriteAll(platform.environment.programFolder + "/Help.html", "<html></html>");
  TestSupport::WriteAll(platform.environment.appData + "/Quillpost Data/Help.html", "x");
  PanelActions::OptionBarItemClick("help_file", {});
  EXPECT_EQ(platform.shell.opened,
            (Strings{"mailto:support@quillpost.example", "https://quillpost.example/",
                     platform.environment.programFolder + "/Help.html"}));
}

}  // namespace
