#include "presentation/PanelActions.h"

#include "inbox/mInbox.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace TestData;
using Node = TreeControl::Node;
using Strings = std::vector<std::string>;
using TestSupport::ShownBox;

const std::string kNotesLink = "http://feeds.test/notes";

// "Letters" with an unread ("New one") and a read message ("Old one"), unfolded, and "Notes"
// without any, in a tree with the panel's handlers.
class PanelActionsTest : public DataFolderTest {
 protected:
  void SetUp() override {
    InstallTemplate();
    lettersId = AddSource("Letters", "http://feeds.test/letters",
                          {{"g-new", "New one"}, {"g-old", "Old one", "Fri, 04 Dec 2026", true}});
    notesId = AddSource("Notes", kNotesLink);
    tree.SetSorted(true);
    ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
    PanelActions::Attach(
        tree, host, [this](int x, int y) { popups.emplace_back(x, y); },
        [this](int x, int y) { sourcePopups.emplace_back(x, y); });
    tree.SetHitTest([this](int, int y) { return y >= 0 ? hitNode : nullptr; });
    tree.Find(lettersId)->SetExpanded(true);
    fresh = tree.Find(lettersId)->Child(0);
    old = tree.Find(lettersId)->Child(1);
    notes = tree.Find(notesId);
  }

  TestSupport::FakeDocumentHost host;
  TreeControl tree{"tvMessages"};
  std::string lettersId, notesId;
  Node *fresh = nullptr, *old = nullptr, *notes = nullptr, *hitNode = nullptr;
  std::vector<std::pair<int, int>> popups, sourcePopups;
};

TEST_F(PanelActionsTest, EnterOrDoubleClickOpensAMessageAndOnlyADoubleClickChecksASource) {
  platform.http.answers[kNotesLink] = {true, 200, FeedWithItems({"n1"}), {}};
  // A Return release may end a press that a box took and closed on: it opens nothing.
  tree.SetSelectedItem(fresh);
  tree.RaiseKeyUp(PanelActions::kKeyReturn, 0);
  EXPECT_EQ(host.open, std::set<std::string>{});
  // Shown read, stored unread: the inbox decides, and it is marked read when opened.
  ASSERT_TRUE(mInbox::MarkMessage(lettersId, "g-old", false));
  for (const auto& [node, enter] :
       {std::pair(fresh, true), {old, false}, {notes, true}, {nullptr, false}, {notes, false}}) {
    tree.SetSelectedItem(node);
    enter ? tree.RaiseKeyDown(PanelActions::kKeyReturn, 0) : tree.RaiseDblClick();
  }
  EXPECT_EQ(host.open, (std::set<std::string>{"g-new", "g-old"}));
  EXPECT_EQ(Messages(tree, lettersId),
            (std::vector<Shown>{{"New one", "g-new", 3, false}, {"Old one", "g-old", 3, false}}));
  EXPECT_EQ(std::pair(StoredRead(lettersId, "g-new"), StoredRead(lettersId, "g-old")),
            std::pair(1, 1));
  EXPECT_EQ(platform.http.fetched, Strings{kNotesLink});
  EXPECT_EQ(Messages(tree, notesId), (std::vector<Shown>{{"T n1", "n1", 2, true}}));
}

// Catches marking read a message that no window shows.
TEST_F(PanelActionsTest, MessageThatCannotBeShownStaysUnread) {
  WriteInbox("", lettersId);  // the messages are gone from the store
  tree.SetSelectedItem(fresh);
  tree.RaiseDblClick();
  EXPECT_EQ(host.open, std::set<std::string>{});
  EXPECT_EQ(Messages(tree, lettersId).at(0), (Shown{"New one", "g-new", 2, true}));
}

TEST_F(PanelActionsTest, F2RenamesOnlyASourceAndOnlyAfterYes) {
  for (const auto& [node, key] : {std::pair(fresh, TreeControl::KeyF2), {notes, 112}}) {
    tree.SetSelectedItem(node);
    tree.RaiseKeyUp(key, 0);
    EXPECT_EQ(tree.EditingNode(), nullptr) << key;
  }
  const std::tuple<std::string, int, std::string, Strings> rows[] = {
      {"   ", Services::vbYes, "Notes", {"Letters", "Notes"}},  // refused without asking
      {"Daily notes", Services::vbNo, "Notes", {"Letters", "Notes"}},
      {"Daily notes", Services::vbYes, "Daily notes", {"Letters", "Daily notes"}}};
  for (const auto& [typed, answer, shown, stored] : rows) {
    tree.RaiseKeyUp(TreeControl::KeyF2, 0);
    ASSERT_EQ(tree.EditingNode(), notes);
    platform.messageBox.answers = {answer};
    tree.EndLabelEdit(typed, false);
    EXPECT_EQ(std::pair(notes->Text(), StoredTitles()), std::pair(shown, stored))
        << typed << answer;
  }
  const ShownBox question{"Do you want to change the title \"Notes\" to \"Daily notes\"?",
                          "Change Title?", 292};
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{question, question}));

  // While the box is open a check replaces the node (the new one takes the title) or the source
  // goes (nothing is renamed): the handler finds the source again by its key.
  for (const bool gone : {false, true}) {
    platform.messageBox.whileOpen = [&] {
      gone ? (void)tree.Remove(notesId) : (void)mSubscriptions::LoadSubscriptions(tree);
    };
    platform.messageBox.answers = {Services::vbYes};
    tree.SetSelectedItem(tree.Find(notesId));
    tree.RaiseKeyUp(TreeControl::KeyF2, 0);
    EXPECT_EQ(tree.EndLabelEdit("Notes 2", false), false);
    EXPECT_EQ(StoredTitles(), (Strings{"Letters", "Notes 2"})) << gone;
  }
  EXPECT_EQ(tree.Find(notesId), nullptr);
  platform.messageBox.whileOpen = nullptr;
  ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
  EXPECT_EQ(TopLevelTexts(tree), (Strings{"Letters", "Notes 2"}));
  notes = tree.Find(notesId);
  tree.SetSelectedItem(notes);

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

TEST_F(PanelActionsTest, RightClickOpensTheMessagePopupForAMessageAndTheSourcePopupForASource) {
  Node* source = tree.Find(lettersId);
  Node* search = tree.Add("Searches", "Saved Searches");
  // Empty space under the pointer: the selected node decides; a left click never opens it; a
  // message under the pointer becomes the selection, whatever was selected.
  const int right = TreeControl::ButtonRight;
  for (const auto& [hit, selected, button, y] : {std::tuple(source, old, right, 7),
                                                 {nullptr, old, right, 8},
                                                 {nullptr, source, right, 9},
                                                 {old, source, TreeControl::ButtonLeft, 10},
                                                 {old, source, right, 11},
                                                 {search, old, right, 12}}) {
    hitNode = hit;
    tree.SetSelectedItem(selected);
    tree.RaiseMouseUp(button, 0, 5, y);
  }
  EXPECT_EQ(popups, (std::vector<std::pair<int, int>>{{5, 8}, {5, 11}}));
  EXPECT_EQ(sourcePopups, (std::vector<std::pair<int, int>>{{5, 7}}));
  EXPECT_EQ(tree.SelectedItem(), old);
}

TEST_F(PanelActionsTest, OptionItemsRouteByKey) {
  std::string dialogs;
  for (const char* key : {"opt_scheduler", "help_file", "help_email", "help_website",
                          "opt_settings", "Opt_Settings", ""}) {
    PanelActions::OptionBarItemClick(
        key, [&] { dialogs += "settings "; }, [&] { dialogs += "scheduler "; });
  }
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Application failed to find Help File. Either Help file is not installed or "
                 "missing.",
                 "Help File not found!", 48}}));
  EXPECT_EQ(dialogs, "scheduler settings ");
  // The help page beside the program, once it is there.
  TestSupport::WriteAll(platform.environment.programFolder + "/Help.html", "<html></html>");
  PanelActions::OptionBarItemClick("help_file", {}, {});
  EXPECT_EQ(platform.shell.opened,
            (Strings{"mailto:support@quillpost.example", "https://quillpost.example/",
                     platform.environment.programFolder + "/Help.html"}));
  // A desktop that cannot open it: a box names what and says why.
  platform.shell.failure = "no program is set up for it";
  PanelActions::OptionBarItemClick("help_website", {}, {});
  EXPECT_EQ(platform.messageBox.shown.back(),
            (ShownBox{"The desktop could not open https://quillpost.example/:\r\n\r\n"
                      "no program is set up for it",
                      "Cannot open", 48}));
}

}  // namespace
