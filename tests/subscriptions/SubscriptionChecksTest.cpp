#include "subscriptions/SubscriptionChecks.h"

#include "core/DocumentHost.h"
#include "core/mAppFunctions.h"
#include "presentation/PanelTestSupport.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

using namespace SubscriptionChecks;
using TestSupport::FakePlatform;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using TestSupport::WriteAll;
namespace fs = std::filesystem;

namespace {

using Node = TreeControl::Node;

const std::string kLetters = "http://news.quillpost.test/letters";
const std::string kNotes = "http://news.quillpost.test/notes";
const std::string kInvalidText =
    "Invalid Quillpost Message Source Link. Please specify a correct Quillpost Source Link in "
    "\"Source Link\" field.";

std::vector<std::string> ChildTexts(const Node* parent) {
  std::vector<std::string> texts;
  for (std::size_t row = 0; row < parent->ChildCount(); ++row)
    texts.push_back(parent->Child(row)->Text());
  return texts;
}

std::vector<std::string> TopLevelTexts(const TreeControl& tree) {
  std::vector<std::string> texts;
  for (const Node* node : tree.TopLevelNodes()) texts.push_back(node->Text());
  return texts;
}

std::vector<mSubscriptions::MessageSource> Stored() {
  std::vector<mSubscriptions::MessageSource> sources;
  EXPECT_TRUE(mSubscriptions::ReadSources(sources));
  return sources;
}

// Documents open by guid; closing one records it.
class FakeDocuments : public IDocumentHost {
 public:
  bool FocusDocument(const std::string& itemId) override { return open.count(itemId) > 0; }
  void OpenDocument(const std::string& itemId, const std::string&, const std::string&) override {
    open.insert(itemId);
  }
  bool CloseDocument(const std::string& itemId) override {
    if (open.erase(itemId) == 0) return false;
    closed.push_back(itemId);
    return true;
  }
  std::set<std::string> open;
  std::vector<std::string> closed;
};

class SubscribeDialogChecks : public ::testing::Test {
 protected:
  void SetUp() override { mAppFunctions::InitializeDataFolder(); }

  FakePlatform platform;
  TreeControl messages{"tvMessages"};
};

class ListManagerChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    lettersId = PanelTests::AddSource("Letters", kLetters, {{"g1", "First"}, {"g2", "Second"}});
    notesId = PanelTests::AddSource("Notes", kNotes, {{"n1", "Note"}});
    mSubscriptions::LoadSubscriptions(list);
  }

  void Select(const std::string& key) { list.SetSelectedItem(list.Find(key)); }
  std::vector<std::string> Listed() { return ChildTexts(list.Find("main")); }
  std::string Folder(const std::string& id) { return mAppFunctions::DataPath + "/" + id; }

  FakePlatform platform;
  TreeControl list{"tvSources"};
  std::string lettersId, notesId;
  ManagerState state;
  SourceFields fields;
};

}  // namespace

TEST_F(SubscribeDialogChecks, RefusalsComeInOrderWithTheirBoxesAndWriteNothing) {
  struct Case {
    const char* name;
    SourceFields fields;
    ShownBox box;
    Focus focus;
  };
  const ShownBox title{"Please specify a Title for Message Source.", "Title?", 64};
  const ShownBox link{"Please specify the URL Link of Message Source.", "Link?", 64};
  const ShownBox invalid{kInvalidText, "Invalid Quillpost Source Link.", 48};
  const std::vector<Case> cases{
      {"blank title before a good link", {"   ", kLetters}, title, Focus::Title},
      {"empty title before a missing link", {"", ""}, title, Focus::Title},
      {"blank link", {"Letters", "  "}, link, Focus::Link},
      {"other host", {"Letters", "http://example.test/letters"}, invalid, Focus::LinkSelected},
      {"host cut short", {"Letters", "http://news.quillpost.tes/x"}, invalid, Focus::LinkSelected},
  };
  const std::string before = ReadAll(mSubscriptions::SubscriptionFilePath());
  for (const Case& c : cases) {
    platform.messageBox.shown.clear();
    EXPECT_EQ(Subscribe(c.fields, messages), (Attempt{false, c.focus})) << c.name;
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{c.box}) << c.name;
  }
  EXPECT_EQ(ReadAll(mSubscriptions::SubscriptionFilePath()), before);
}

TEST_F(SubscribeDialogChecks, HostInCapitalsPassesAndOnlyTheExactLinkIsADuplicate) {
  messages.Add("stale", "Stale node");
  const ShownBox done{"New Source successfully Added to Subscription List!", "Done!", 64};
  const ShownBox already{"You have already subscribed to this Message channel!",
                         "Already Subscribed!", 48};

  EXPECT_EQ(Subscribe({" Letters", kLetters + " "}, messages), (Attempt{true, Focus::None}));
  EXPECT_EQ(Subscribe({"Again", kLetters}, messages), (Attempt{false, Focus::None}));
  EXPECT_EQ(Subscribe({"Shouted", "HTTP://NEWS.QUILLPOST.TEST/LETTERS"}, messages),
            (Attempt{true, Focus::None}));

  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{done, already, done}));
  // The title as typed; the link as the file gives it back, without the blank at its end that
  // would otherwise have let the same link in twice.
  const auto sources = Stored();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].Title, " Letters");
  EXPECT_EQ(sources[0].Link, kLetters);
  EXPECT_EQ(sources[1].Link, "HTTP://NEWS.QUILLPOST.TEST/LETTERS");
  // The message tree was rebuilt from the file.
  EXPECT_EQ(TopLevelTexts(messages), (std::vector<std::string>{" Letters", "Shouted"}));
  EXPECT_EQ(messages.Find("stale"), nullptr);
}

TEST_F(ListManagerChecks, RefusalsComeInOrderAndTheHostMustMatchLetterCase) {
  struct Case {
    const char* name;
    SourceFields fields;
    ShownBox box;
    Focus focus;
  };
  const std::vector<Case> cases{
      {"blank title first",
       {" ", "NEWS.QUILLPOST.TEST"},
       {"Please specify Title for Message Source.", "Title?", 48},
       Focus::Title},
      {"blank link",
       {"Alpha", "   "},
       {"Please specify Message Source Link.", "Message Source Link?", 48},
       Focus::Link},
      {"host in capitals",
       {"Alpha", "http://NEWS.quillpost.test/alpha"},
       {"You've specified invalid Message Source Link. Please specify correct Quillpost Message "
        "Source URL.",
        "Invalid Link!", 48},
       Focus::LinkSelected},
      {"already subscribed, blanks around the link aside",
       {"Other title", " " + kLetters + "\t"},
       {"You have already subscribed to this Message channel!", "Already Subscribed!", 48},
       Focus::None},
  };
  const std::string before = ReadAll(mSubscriptions::SubscriptionFilePath());
  for (const Case& c : cases) {
    platform.messageBox.shown.clear();
    fields = c.fields;
    EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{false, c.focus})) << c.name;
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{c.box}) << c.name;
    EXPECT_EQ(fields, c.fields) << c.name;
    EXPECT_EQ(state, ManagerState{}) << c.name;
  }
  EXPECT_EQ(ReadAll(mSubscriptions::SubscriptionFilePath()), before);
}

TEST_F(ListManagerChecks, AddClearsTheFieldsAndRebuildsTheList) {
  fields = {"Alpha", "http://news.quillpost.test/alpha"};
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{true, Focus::None}));
  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{{"New Message Source is succcessfully Subscribed!", "Done!", 64}}));
  EXPECT_EQ(fields, SourceFields{});
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Alpha"}));
}

TEST_F(ListManagerChecks, EditSavesUnderTheSameIdAndReturnsToAdding) {
  EXPECT_EQ(AddButtonCaption(state.mode), "Add New");
  Select(notesId);
  ASSERT_EQ(EnterEditMode(list, state, fields), true);
  EXPECT_EQ(fields, (SourceFields{"Notes", kNotes}));
  EXPECT_EQ(state, (ManagerState{ManagerMode::Edit, "Notes", kNotes, notesId}));
  EXPECT_EQ(AddButtonCaption(state.mode), "Save Changes!");

  fields = {"Daily notes", kNotes + "/daily"};
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{true, Focus::None}));

  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{{"Message Source Details are successfully Saved!", "Done!", 64}}));
  EXPECT_EQ(state, ManagerState{});
  EXPECT_EQ(fields, SourceFields{});
  const auto sources = Stored();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[1], (mSubscriptions::MessageSource{"Daily notes", kNotes + "/daily", notesId}));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Daily notes", "Letters"}));
}

TEST_F(ListManagerChecks, ClearFieldsAfterADoubleClickMakesTheNextClickAdd) {
  Select(lettersId);
  ASSERT_EQ(EnterEditMode(list, state, fields), true);
  ClearFields(state, fields);
  EXPECT_EQ(state, ManagerState{});
  EXPECT_EQ(fields, SourceFields{});

  fields = {"Letters copy", kLetters + "/copy"};
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{true, Focus::None}));
  EXPECT_EQ(PanelTests::StoredTitles(),
            (std::vector<std::string>{"Letters", "Notes", "Letters copy"}));
}

TEST_F(ListManagerChecks, EditsThatCannotBeSavedKeepEditing) {
  // The root: its text and no link, so saving stops at the link.
  Select("main");
  ASSERT_EQ(EnterEditMode(list, state, fields), true);
  EXPECT_EQ(fields, (SourceFields{"Sources", ""}));
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{false, Focus::Link}));

  // A new link that another source has: the two could no longer be told apart.
  Select(notesId);
  ASSERT_EQ(EnterEditMode(list, state, fields), true);
  fields.link = kLetters;
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{false, Focus::LinkSelected}));

  // A source that went from the file meanwhile: nothing is said.
  fields = {"Renamed", kNotes};
  mSubscriptions::CurrentSource.Link = kNotes;
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{false, Focus::None}));

  EXPECT_EQ(
      platform.messageBox.shown,
      (std::vector<ShownBox>{
          {"Please specify Message Source Link.", "Message Source Link?", 48},
          {"You have already subscribed to this Message channel!", "Already Subscribed!", 48}}));
  EXPECT_EQ(state.mode, ManagerMode::Edit);
  EXPECT_EQ(PanelTests::StoredTitles(), std::vector<std::string>{"Letters"});
}

TEST_F(ListManagerChecks, RenamingWithTheSameLinkIsNoDuplicate) {
  Select(lettersId);
  ASSERT_EQ(EnterEditMode(list, state, fields), true);
  fields.title = "Weekly letters";
  EXPECT_EQ(AddOrSave(state, fields, list), (Attempt{true, Focus::None}));
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Weekly letters", "Notes"}));
}

TEST_F(ListManagerChecks, UnsubscribeAsksAndNoKeepsEverything) {
  FakeDocuments documents;
  documents.open = {"g1"};
  const std::string before = ReadAll(mSubscriptions::SubscriptionFilePath());
  Select(lettersId);
  platform.messageBox.answers = {Services::vbNo};

  EXPECT_EQ(Unsubscribe(list, &documents), false);

  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Are you sure you want to Unsubscribe Letters message source? Please note that "
                 "once you Unsubscribe, all offline Message content will also be lost.\r\n\r\n"
                 "Continue??",
                 "Unsubscribe Letters??", 292}}));
  EXPECT_EQ(ReadAll(mSubscriptions::SubscriptionFilePath()), before);
  EXPECT_EQ(fs::exists(Folder(lettersId) + "/inbox.dat"), true);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Letters", "Notes"}));
  EXPECT_EQ(documents.closed, std::vector<std::string>{});
}

TEST_F(ListManagerChecks, UnsubscribeYesRemovesTheSourceItsFolderAndItsDocuments) {
  FakeDocuments documents;
  documents.open = {"g2", "n1"};
  Select(lettersId);
  platform.messageBox.answers = {Services::vbYes};

  EXPECT_EQ(Unsubscribe(list, &documents), true);

  EXPECT_EQ(PanelTests::StoredTitles(), std::vector<std::string>{"Notes"});
  EXPECT_EQ(Listed(), std::vector<std::string>{"Notes"});
  EXPECT_EQ(fs::exists(Folder(lettersId)), false);
  EXPECT_EQ(fs::exists(Folder(notesId) + "/inbox.dat"), true);
  EXPECT_EQ(documents.closed, std::vector<std::string>{"g2"});
  EXPECT_EQ(documents.open, std::set<std::string>{"n1"});
}

TEST_F(ListManagerChecks, NothingIsAskedForTheRootOrWithoutASelection) {
  EXPECT_EQ(Unsubscribe(list, nullptr), false);
  Select("main");
  EXPECT_EQ(Unsubscribe(list, nullptr), false);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Letters", "Notes"}));
}

TEST_F(ListManagerChecks, HandEditedIdsNeverDeleteAnything) {
  // A folder beside the data folder that "../outside" would name.
  const std::string outside = platform.environment.appData + "/outside";
  fs::create_directories(outside);
  WriteAll(outside + "/keep.txt", "keep");
  const std::string path = mSubscriptions::SubscriptionFilePath();
  std::string text = ReadAll(path);
  text.insert(
      text.find("</sources>"),
      "<source id=\"../outside\" title=\"Stray\">http://news.quillpost.test/stray</source>");
  WriteAll(path, text);
  mSubscriptions::LoadSubscriptions(list);

  Select("../outside");
  platform.messageBox.answers = {Services::vbYes};
  EXPECT_EQ(Unsubscribe(list, nullptr), true);
  EXPECT_EQ(PanelTests::StoredTitles(), (std::vector<std::string>{"Letters", "Notes"}));

  // An empty identifier would name the data folder itself.
  TreeControl handMade{"tvSources"};
  handMade.Add("main", "Sources", 1);
  Node* blank = handMade.AddChild("main", "", "Letters", 4);
  blank->SetTag(kLetters);
  handMade.SetSelectedItem(blank);
  platform.messageBox.answers = {Services::vbYes};
  EXPECT_EQ(Unsubscribe(handMade, nullptr), true);
  EXPECT_EQ(PanelTests::StoredTitles(), std::vector<std::string>{"Notes"});

  EXPECT_EQ(ReadAll(outside + "/keep.txt"), "keep");
  EXPECT_EQ(fs::exists(path), true);
  EXPECT_EQ(fs::exists(Folder(lettersId) + "/inbox.dat"), true);
  EXPECT_EQ(fs::exists(Folder(notesId) + "/inbox.dat"), true);
}

TEST_F(ListManagerChecks, OnlyAnIdentifierFolderInsideTheDataFolderIsDeleted) {
  const std::string outside = platform.environment.appData + "/outside";
  fs::create_directories(outside);
  WriteAll(outside + "/keep.txt", "keep");
  // A source folder that is a link to somewhere else.
  const std::string linked = "CCCCCCCC-0000-4000-8000-000000000003";
  fs::create_directory_symlink(outside, Folder(linked));

  for (const std::string& id :
       {std::string(), std::string(".."), std::string("../outside"), std::string("main"),
        notesId + "/", std::string("aaaaaaaa-0000-4000-8000-000000000001"), linked}) {
    EXPECT_EQ(DeleteSourceFolder(id), false) << id;
  }
  EXPECT_EQ(ReadAll(outside + "/keep.txt"), "keep");
  EXPECT_EQ(fs::exists(Folder(notesId) + "/inbox.dat"), true);
  EXPECT_EQ(fs::exists(mSubscriptions::SubscriptionFilePath()), true);

  EXPECT_EQ(DeleteSourceFolder(notesId), true);
  EXPECT_EQ(fs::exists(Folder(notesId)), false);
  EXPECT_EQ(fs::exists(Folder(lettersId) + "/inbox.dat"), true);
}
