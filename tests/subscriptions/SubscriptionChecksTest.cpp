// What the subscribe dialog, the subscription list manager and the drop box decide and show.
#include "subscriptions/SubscriptionChecks.h"

#include "config/mSettings.h"
#include "core/mAppFunctions.h"
#include "subscriptions/DropBoxLogic.h"
#include "subscriptions/SourceLink.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <tuple>

using namespace SubscriptionChecks;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

const std::string kLetters = "http://news.quillpost.test/letters";
const std::string kNotes = "http://news.quillpost.test/notes";
// Where the drop box opens and with which choices: left, top, size and transparency.
std::vector<int> Opens(const std::vector<DropBoxLogic::Rect>& screens) {
  const DropBoxLogic::Placement p = DropBoxLogic::LoadPlacement(screens);
  return {p.left, p.top, p.size, p.trans};
}
const ShownBox kAlready{"You have already subscribed to this Message channel!",
                        "Already Subscribed!", 48};

// A table row: name, the fields as typed, what the attempt gives, the box it shows.
using Row = std::tuple<const char*, SourceFields, Attempt, ShownBox>;

// "Letters" with two messages (g1, g2) and "Notes" with one (n1).
class SubscriptionChecksTest : public TestData::DataFolderTest {
 protected:
  SubscriptionChecksTest() {
    lettersId = AddSource("Letters", kLetters, {{"g1", "First"}, {"g2", "Second"}});
    notesId = AddSource("Notes", kNotes, {{"n1", "Note"}});
    mSubscriptions::LoadSubscriptions(list);
  }

  void Select(const std::string& key) { list.SetSelectedItem(list.Find(key)); }
  std::vector<std::string> Listed() {
    std::vector<std::string> texts;
    for (std::size_t row = 0; row < list.Find("main")->ChildCount(); ++row)
      texts.push_back(list.Find("main")->Child(row)->Text());
    return texts;
  }
  std::string Folder(const std::string& id) { return mAppFunctions::DataPath + "/" + id; }

  TreeControl list{"tvSources"};
  std::string lettersId, notesId;
  ManagerState state;
  SourceFields fields;
};

}  // namespace

TEST_F(SubscriptionChecksTest, SubscribeRefusesInOrderAndRebuildsTheTree) {
  TreeControl messages{"tvMessages"};
  messages.Add("stale", "Stale node");
  const ShownBox title{"Please specify a Title for Message Source.", "Title?", 64};
  const ShownBox link{"Please specify the URL Link of Message Source.", "Link?", 64};
  const ShownBox invalid{
      "Invalid Quillpost Message Source Link. Please specify a correct "
      "Quillpost Source Link in \"Source Link\" field.",
      "Invalid Quillpost Source Link.", 48};
  const ShownBox done{"New Source successfully Added to Subscription List!", "Done!", 64};
  const Attempt added{true, Focus::None}, selected{false, Focus::LinkSelected};
  const std::vector<Row> rows{
      {"blank title before a good link", {"   ", kLetters + "/x"}, {false, Focus::Title}, title},
      {"empty title before a missing link", {"", ""}, {false, Focus::Title}, title},
      {"blank link", {"Alpha", "  "}, {false, Focus::Link}, link},
      {"other host", {"Alpha", "http://example.test/a"}, selected, invalid},
      {"host cut short", {"Alpha", "http://news.quillpost.tes/a"}, selected, invalid},
      {"already subscribed", {"Again", kLetters}, {}, kAlready},
      // A link stored with a blank at its end would never be found again: the same source twice.
      {"blanks around a subscribed link", {"Again", " " + kLetters + "\t"}, {}, kAlready},
      {"host in capitals passes", {" Alpha", "http://NEWS.quillpost.test/a "}, added, done},
      {"path in other case: new link", {"Up", "HTTP://NEWS.QUILLPOST.TEST/LETTERS"}, added, done},
  };
  for (const auto& [name, typed, attempt, box] : rows) {
    platform.messageBox.shown.clear();
    EXPECT_EQ(Subscribe(typed, messages), attempt) << name;
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{box}) << name;
  }
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes", " Alpha", "Up"}));
  EXPECT_EQ(TestData::TopLevelTexts(messages),
            (std::vector<std::string>{" Alpha", "Letters", "Notes", "Up"}));
  EXPECT_EQ(messages.TopLevelAt(0)->Tag(), "http://news.quillpost.test/a");
  EXPECT_EQ(TestData::Messages(messages, lettersId).size(), 2u);
}

TEST_F(SubscriptionChecksTest, ListManagerRefusesInOrderAndAddsWithTheHostAsTyped) {
  const ShownBox title{"Please specify Title for Message Source.", "Title?", 48};
  const ShownBox link{"Please specify Message Source Link.", "Message Source Link?", 48};
  const ShownBox invalid{
      "You've specified invalid Message Source Link. Please specify correct "
      "Quillpost Message Source URL.",
      "Invalid Link!", 48};
  const ShownBox done{"New Message Source is succcessfully Subscribed!", "Done!", 64};
  const std::string alpha = "http://news.quillpost.test/alpha";
  const Attempt selected{false, Focus::LinkSelected};
  const std::vector<Row> rows{
      {"blank title first", {" ", "NEWS.QUILLPOST.TEST"}, {false, Focus::Title}, title},
      {"blank link", {"Alpha", "   "}, {false, Focus::Link}, link},
      {"host in capitals", {"Alpha", "http://NEWS.quillpost.test/a"}, selected, invalid},
      {"already subscribed, blanks aside", {"Other", " " + kLetters + "\t"}, {}, kAlready},
      {"added", {"Alpha", alpha}, {true, Focus::None}, done},
  };
  for (const auto& [name, typed, attempt, box] : rows) {
    platform.messageBox.shown.clear();
    fields = typed;
    EXPECT_EQ(AddOrSave(state, fields, list), attempt) << name;
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{box}) << name;
    EXPECT_EQ(fields, attempt.done ? SourceFields{} : typed) << name;
    EXPECT_EQ(state, ManagerState{}) << name;
  }
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Alpha", "Letters", "Notes"}));
  EXPECT_EQ(StoredTitles(), (std::vector<std::string>{"Letters", "Notes", "Alpha"}));
}

TEST_F(SubscriptionChecksTest, EditsSaveUnderTheSameIdUnlessTheyCannot) {
  const auto edit = [&](const std::string& key, const SourceFields& edited) {
    Select(key);
    EXPECT_EQ(EnterEditMode(list, state, fields), true);
    fields = edited;
    return AddOrSave(state, fields, list);
  };
  const Attempt saved{true, Focus::None};
  const std::string old = "HTTP://news.quillpost.test:80/old";
  const std::string oldId = AddSource("Old", old);
  mSubscriptions::LoadSubscriptions(list);
  // The root has its text and no link, so saving stops at the link.
  EXPECT_EQ(edit("main", {"Sources", ""}), (Attempt{false, Focus::Link}));
  // A new link that another source has: the two could no longer be told apart.
  EXPECT_EQ(edit(notesId, {"Notes", "HTTP://news.quillpost.test:80/letters"}),
            (Attempt{false, Focus::LinkSelected}));
  EXPECT_EQ(state, (ManagerState{ManagerMode::Edit, "Notes", kNotes, notesId}));
  EXPECT_EQ(AddButtonCaption(state.mode), "Save Changes!");
  EXPECT_EQ(edit(notesId, {"Daily notes", kNotes + "/daily"}), saved);
  EXPECT_EQ(AddButtonCaption(state.mode), "Add New");
  EXPECT_EQ(edit(lettersId, {"Weekly letters", kLetters}), saved);  // same link: no duplicate
  // A link stored before the stored form stays as it is unless it is changed.
  EXPECT_EQ(edit(oldId, {"Old letters", old}), saved);
  EXPECT_EQ(list.Find(oldId)->Tag(), old);
  EXPECT_EQ(edit(oldId, {"Old letters", "http://news.quillpost.test:80/old"}), saved);
  // Clearing the fields after a double click: the next click adds.
  Select(notesId);
  EnterEditMode(list, state, fields);
  ClearFields(state, fields);
  fields = {"Notes copy", kNotes + "/copy"};
  EXPECT_EQ(AddOrSave(state, fields, list), saved);
  EXPECT_EQ(platform.messageBox.shown.at(2),
            (ShownBox{"Message Source Details are successfully Saved!", "Done!", 64}));
  std::vector<mSubscriptions::MessageSource> sources;
  mSubscriptions::ReadSources(sources);
  EXPECT_EQ(sources, (std::vector<mSubscriptions::MessageSource>{
                         {"Weekly letters", kLetters, lettersId},
                         {"Daily notes", kNotes + "/daily", notesId},
                         {"Old letters", "http://news.quillpost.test/old", oldId},
                         {"Notes copy", kNotes + "/copy", sources.back().ID}}));

  // A source that went from the file meanwhile: nothing is said and editing goes on.
  platform.messageBox.shown.clear();
  Select(lettersId);
  EnterEditMode(list, state, fields);
  mSubscriptions::CurrentSource.Link = kLetters;
  mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete);
  EXPECT_EQ(AddOrSave(state, fields, list), Attempt{});
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
  EXPECT_EQ(state.mode, ManagerMode::Edit);
}

// Catches a hand-edited identifier ("../x", "", a link) deleting a folder outside the source's.
TEST_F(SubscriptionChecksTest, UnsubscribeAsksThenRemovesOnlyTheSourceItsFolderAndDocuments) {
  TestSupport::FakeDocumentHost documents;
  documents.open = {"g2", "n1"};
  const std::string outside = platform.environment.appData + "/outside";
  fs::create_directories(outside);
  TestSupport::WriteAll(outside + "/keep.txt", "keep");
  std::string text = ReadAll(mSubscriptions::SubscriptionFilePath());
  text.insert(text.find("</sources>"), "<source id=\"../outside\" title=\"S\">http://h/x</source>");
  TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), text);
  mSubscriptions::LoadSubscriptions(list);
  // Nothing is asked for the root or without a selection.
  EXPECT_EQ(Unsubscribe(list, &documents), false);
  Select("main");
  EXPECT_EQ(Unsubscribe(list, &documents), false);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});

  Select(lettersId);
  platform.messageBox.answers = {Services::vbNo, Services::vbYes, Services::vbYes};
  EXPECT_EQ(Unsubscribe(list, &documents), false);
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{
                {"Are you sure you want to Unsubscribe Letters message source? Please note that "
                 "once you Unsubscribe, all offline Message content will also be lost.\r\n\r\n"
                 "Continue??",
                 "Unsubscribe Letters??", 292}}));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"Letters", "Notes", "S"}));
  EXPECT_EQ(Unsubscribe(list, &documents), true);
  Select("../outside");
  EXPECT_EQ(Unsubscribe(list, &documents), true);
  EXPECT_EQ(Listed(), std::vector<std::string>{"Notes"});
  EXPECT_EQ(StoredTitles(), std::vector<std::string>{"Notes"});
  EXPECT_EQ(fs::exists(Folder(lettersId)), false);
  EXPECT_EQ(documents.open, std::set<std::string>{"n1"});
  EXPECT_EQ(ReadAll(outside + "/keep.txt"), "keep");

  const std::string linked = "CCCCCCCC-0000-4000-8000-000000000003";
  fs::create_directory_symlink(outside, Folder(linked));
  for (const std::string& id : std::vector<std::string>{"", "..", "main", notesId + "/", linked,
                                                        "aaaaaaaa-0000-4000-8000-000000000001"})
    EXPECT_EQ(DeleteSourceFolder(id), false) << id;
  EXPECT_EQ(ReadAll(outside + "/keep.txt"), "keep");
  EXPECT_EQ(DeleteSourceFolder(notesId), true);
  EXPECT_EQ(fs::exists(Folder(notesId)), false);
}

// Catches a box kept where no screen shows it any more, or opened over the main window's menus.
TEST(DropBoxLogicTest, ABoxOffEveryScreenOpensOnTheFirstAndOnlyServiceLinksAreTaken) {
  TestSupport::FakePlatform platform;
  EXPECT_EQ(Opens({}), (std::vector<int>{0, 0, 2, 1}));  // nothing stored yet
  DropBoxLogic::StorePlacement({2000, 500, 1, 3});
  EXPECT_EQ((std::vector<int>{mSettings::DropBoxLeft, mSettings::DropBoxTop, mSettings::DropBoxSize,
                              mSettings::DropBoxTrans}),
            (std::vector<int>{30000, 7500, 1, 3}));
  const std::vector<DropBoxLogic::Rect> twoScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  EXPECT_EQ(Opens(twoScreens), (std::vector<int>{2000, 500, 1, 3}));
  // The second screen gone.
  EXPECT_EQ(Opens({{100, 50, 1920, 1080}}), (std::vector<int>{100, 50, 1, 3}));
  // Nothing known about the screens: the stored place.
  EXPECT_EQ(Opens({}), (std::vector<int>{2000, 500, 1, 3}));

  // Not over the main window's menus: beside the window where the screen has room.
  const DropBoxLogic::Rect screen{0, 0, 1280, 800}, menus{100, 40, 600, 24};
  const auto beside = [&](int left, int top, DropBoxLogic::Rect window) {
    const DropBoxLogic::Placement p =
        DropBoxLogic::ClearOfMenus({left, top, 2, 1}, 66, menus, window, screen);
    return std::vector<int>{p.left, p.top};
  };
  EXPECT_EQ(beside(500, 300, {100, 0, 600, 500}), (std::vector<int>{500, 300}));  // clear: stays
  EXPECT_EQ(beside(80, 20, {100, 0, 600, 500}), (std::vector<int>{700, 40}));
  EXPECT_EQ(beside(80, 20, {100, 0, 1180, 500}), (std::vector<int>{34, 40}));
  EXPECT_EQ(beside(80, 20, {0, 0, 1280, 780}), (std::vector<int>{1214, 64}));  // maximised

  const ShownBox noLink{
      "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!",
      "Drag-n-Drop Quillpost Link ...", 64};
  const ShownBox invalid{SourceLink::kInvalidLinkText, SourceLink::kInvalidLinkTitle, 48};
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "HTTP://NEWS.QUILLPOST.TEST/Channel/AbC"), true);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "https://example.org/feed.xml"), false);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(false, ""), false);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{invalid, noLink}));
}
