// The subscription file, its data folder, source identifiers and the trees built from it.
#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/SubscriptionEvents.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <filesystem>
#include <set>

using namespace mSubscriptions;
using TestData::Shown;
using TestData::TopLevelTexts;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using TestSupport::WriteAll;

namespace {

const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : "
    "subscriptions.dat\r\n-->\r\n";

class SubscriptionFile : public TestData::DataFolderTest {
 protected:
  void WriteSources(const std::string& children) {
    WriteAll(SubscriptionFilePath(), kHeader + "<sources>\r\n" + children + "</sources>\r\n");
  }
  std::vector<MessageSource> Read() {
    std::vector<MessageSource> sources;
    EXPECT_TRUE(ReadSources(sources));
    return sources;
  }
  bool Act(SourceAction action, const std::string& link) {
    CurrentSource.Link = link;
    return ManageSource(action);
  }
  static std::string Source(const std::string& id, const std::string& title,
                            const std::string& link) {
    return "<source id=\"" + id + "\" title=\"" + title + "\">" + link + "</source>";
  }

  TreeControl messages{"tvMessages"};
  TreeControl list{"tvSources"};
};
using SourceTree = SubscriptionFile;

}  // namespace

TEST(SourceId, NewGuidIsVersionFourFromRandomBytesInMemoryOrder) {
  const Guid guid{0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
  EXPECT_EQ(FormatSourceID(guid), "33221100-5544-7766-8899-AABBCCDDEEFF");  // not the registry form
  TestSupport::FakePlatform platform;
  // The fake hands out 00 01 02 ... 0F: version bits land in Data3, variant bits in Data4[0].
  EXPECT_EQ(NewGUID(), "00010203-0405-0647-8809-0A0B0C0D0E0F");
  platform.random.script.assign(16, 0xFF);
  EXPECT_EQ(NewGUID(), "FFFFFFFF-FFFF-FF4F-BFFF-FFFFFFFFFFFF");
  platform.random.fail = true;
  EXPECT_EQ(NewGUID(), "");
}

TEST(DataFolder, FreshFolderWithMissingParentsGetsTheInitialFile) {
  TestSupport::FakePlatform platform;
  platform.environment.appData = platform.root + "/new-home/.local/share";
  // The first command initialises a blank DataPath itself.
  CurrentSource.Link = "http://h/feed";
  EXPECT_EQ(ManageSource(SourceAction::Exists), false);
  EXPECT_EQ(
      ReadAll(platform.environment.appData + "/Quillpost Data/subscriptions.dat"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : subscriptions.dat\r\n"
      "Author     : Quillpost developers\r\nDescription:\r\n    This file saves a complete "
      "list of all Messages Sources subscribed\r\n    under Quillpost application.\r\n-->\r\n"
      "<sources>\r\n</sources>\r\n\r\n");
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST(DataFolder, FolderThatCannotBeCreatedGivesTheErrorReport) {
  TestSupport::FakePlatform platform;
  WriteAll(platform.root + "/plain-file", "x");
  platform.environment.appData = platform.root + "/plain-file/share";
  mAppFunctions::InitializeDataFolder();
  EXPECT_EQ(platform.messageBox.shown,
            (std::vector<ShownBox>{{"76 : \r\n\r\nPath not found", "Error !", 64}}));
}

TEST_F(SubscriptionFile, BrokenOrMissingFilesAreReportedByEveryCommandAndLeftAlone) {
  const std::vector<std::pair<std::string, ShownBox>> rows{
      {"this is not xml <sources/>",
       {"Failed to load Subscription List. Invalid File format or file is damaged. Please "
        "reinstall the application to resolve this issue.",
        "Failed to load Subscription List.", 16}},
      {kHeader + "<list><source id='1' title='t'>http://h/a</source></list>",
       {"Failed to load Subscription List. Invalid File Format.", "Error!", 16}},
      // A data folder without its file is reported, never repaired.
      {"<missing>",
       {"Failed to load Subscription List. Required Data File is missing or hidden. Please "
        "reinstall the application to resolve this issue.",
        "Subscription Data File not found!", 16}},
  };
  for (const auto& [content, box] : rows) {
    platform.messageBox.shown.clear();
    WriteAll(SubscriptionFilePath(), content);
    if (content == "<missing>") std::filesystem::remove(SubscriptionFilePath());
    mAppFunctions::InitializeDataFolder();  // as at the next start
    std::vector<MessageSource> sources;
    EXPECT_FALSE(ReadSources(sources));
    for (SourceAction action :
         {SourceAction::Update, SourceAction::Delete, SourceAction::Exists, SourceAction::Load})
      EXPECT_FALSE(Act(action, "http://h/a"));
    EXPECT_FALSE(mSubscriptions::AddSource("T", "http://h/a"));
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>(6, box));
    const std::string path = SubscriptionFilePath();
    EXPECT_EQ(std::filesystem::exists(path) ? ReadAll(path) : "<missing>", content);
  }
}

TEST_F(SubscriptionFile, AddedSourcesAppendWithIdBeforeTitleOrNotAtAllWithoutRandomBytes) {
  ASSERT_TRUE(mSubscriptions::AddSource("First", "http://h/1"));
  ASSERT_TRUE(mSubscriptions::AddSource("Caf\xC3\xA9 & <Co>", "http://h/2?a=1&b=2"));
  const std::vector<MessageSource> sources = Read();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[1], (MessageSource{"Caf\xC3\xA9 & <Co>", "http://h/2?a=1&b=2", sources[1].ID}));
  EXPECT_TRUE(IsSourceID(sources[0].ID)) << sources[0].ID;
  EXPECT_NE(sources[0].ID, sources[1].ID);
  // The identifier is written before the title.
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(SubscriptionFilePath()));
  EXPECT_EQ(document.FindFirstElement("source").Attributes(),
            (std::vector<XmlAttribute>{{"id", sources[0].ID}, {"title", "First"}}));
  const std::string before = ReadAll(SubscriptionFilePath());
  platform.random.fail = true;
  EXPECT_FALSE(mSubscriptions::AddSource("T", "http://h/3"));
  EXPECT_EQ(ReadAll(SubscriptionFilePath()), before);
  EXPECT_EQ(platform.messageBox.shown.at(0).title, "Error !");
}

// Catches a link compared without letter case: two sources would become one.
TEST_F(SubscriptionFile, LinksMatchExactlyAndCaseSensitively) {
  WriteSources("<source id=\"I1\" title=\"A\">http://h/Feed</source>");
  EXPECT_TRUE(Act(SourceAction::Exists, "http://h/Feed"));
  for (const char* other : {"http://h/feed", "http://h/Feed/", "http://h/", ""})
    EXPECT_FALSE(Act(SourceAction::Exists, other)) << other;
  EXPECT_FALSE(Act(SourceAction::Delete, "HTTP://H/FEED"));
  EXPECT_EQ(Read().size(), 1u);
}

TEST_F(SubscriptionFile, DeleteRemovesEveryMatchAndUpdateKeepsIdAndHeader) {
  // Neighbouring duplicates: the walk goes on with the element after a removed one.
  WriteSources(
      "<source id=\"I1\" title=\"A\">http://h/a</source><source id=\"I2\" title=\"A\">http://h/a"
      "</source><source id=\"I3\" title=\"B\">http://h/b</source>"
      "<source id=\"I4\" title=\"A\">http://h/a</source><source id=\"I5\" title=\"C\">http://h/c"
      "</source>");
  EXPECT_TRUE(Act(SourceAction::Delete, "http://h/a"));
  EditedSource = {"New & Improved", "http://h/new", "ignored"};
  EXPECT_TRUE(Act(SourceAction::Update, "http://h/b"));
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"New & Improved", "http://h/new", "I3"},
                                                {"C", "http://h/c", "I5"}}));
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--\nDocument   : subscriptions.dat\n-->\n";
  EXPECT_EQ(ReadAll(SubscriptionFilePath()).substr(0, head.size()), head);
}

TEST_F(SubscriptionFile, LoadFillsTheRecordOnlyFromAReadableSource) {
  WriteSources(
      "<!-- http://h/a -->stray text<source id=\"one-attribute\">http://h/a</source>"
      "<source title=\"The Title\" id=\"THE-ID\"><![CDATA[http://h/b]]></source>");
  // Written title first, read by position: the two values come out swapped.
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"THE-ID", "http://h/b", "The Title"}}));
  EXPECT_TRUE(Act(SourceAction::Load, "http://h/b"));
  EXPECT_EQ(CurrentSource, (MessageSource{"THE-ID", "http://h/b", "The Title"}));
  CurrentSource = {"keep", "http://h/a", "keep-id"};
  EXPECT_FALSE(ManageSource(SourceAction::Load));
  EXPECT_EQ(CurrentSource, (MessageSource{"keep", "http://h/a", "keep-id"}));
}

namespace {

struct Told : ISubscriptionListener {
  Told() { AddSubscriptionListener(this); }
  ~Told() override { RemoveSubscriptionListener(this); }
  void SourcesAdded(const std::vector<MessageSource>&) override {}
  void SourceChanged(const MessageSource& before, const MessageSource& after) override {
    told.push_back(before.Title + " " + before.Link + " -> " + after.Title + " " + after.Link);
  }
  void SourceRemoved(const MessageSource& source) override { told.push_back("- " + source.ID); }
  std::vector<std::string> told;
};

}  // namespace

// Catches a command by ID that acts on another source (by link), leaves the windows' selection
// changed, shows a box, or does not tell the listeners.
TEST_F(SubscriptionFile, CommandsByIdTellTheListenersAndLeaveTheSelectionAlone) {
  WriteSources(Source("I1", "A", "http://h/a") + Source("I2", "B", "http://h/a") +
               Source("I3", "C", "http://h/c"));
  const MessageSource selected{"T", "http://h/a", "I1"};
  CurrentSource = EditedSource = selected;
  Told told;
  EXPECT_TRUE(RenameSource("I2", "Bee"));
  EXPECT_TRUE(ChangeSourceLink("I3", "http://h/see"));
  EXPECT_TRUE(RemoveSource("I1"));
  const Outcome missing = RemoveSource("I9");
  EXPECT_EQ(std::pair(missing.Done(), missing.found), std::pair(false, false));
  EXPECT_EQ(ReadAllSources(),
            (std::vector<MessageSource>{{"Bee", "http://h/a", "I2"}, {"C", "http://h/see", "I3"}}));
  EXPECT_EQ(FindSource("I3"), (MessageSource{"C", "http://h/see", "I3"}));
  EXPECT_EQ(told.told, (std::vector<std::string>{"B http://h/a -> Bee http://h/a",
                                                 "C http://h/c -> C http://h/see", "- I1"}));
  EXPECT_EQ(std::pair(CurrentSource, EditedSource), std::pair(selected, selected));
  std::filesystem::remove(SubscriptionFilePath());
  EXPECT_EQ(RenameSource("I2", "x").failure, OpenFailure::Missing);
  EXPECT_EQ(ReadAllSources(), std::nullopt);
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

// Catches messages shown oldest first, and a hand-edited identifier making a folder outside.
TEST_F(SourceTree, SourcesShowInTitleOrderNewestMessagesFirstAndOddIdsAreLeftOut) {
  const std::string zeta = "AAAAAAAA-0000-4000-8000-000000000001";
  const std::string alpha = "BBBBBBBB-0000-4000-8000-000000000002";
  WriteSources(Source("", "No id", "http://h/0") + Source(zeta, "Zeta", "http://h/z") +
               Source(zeta, "Zeta twin", "http://h/z2") + Source("main", "Main", "http://h/m") +
               Source("../x", "Hand", "http://h/x") + Source(alpha, "Alpha", "http://h/a"));
  WriteInbox(
      "[z1]\r\ntitle=Older\r\ndate=Thu, 03 Dec 2026\r\nread=1\r\n"
      "[z2]\r\ntitle=Newer\r\ndate=Fri, 04 Dec 2026\r\nread=0\r\n",
      zeta);
  // Loading twice gives the same trees: they are emptied first.
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(LoadSubscriptions(messages) && LoadSubscriptions(list), true);
  EXPECT_EQ(TopLevelTexts(messages), (std::vector<std::string>{"Alpha", "Hand", "Main", "Zeta"}));
  EXPECT_EQ(messages.Find(alpha)->Tag(), "http://h/a");
  EXPECT_EQ(TestData::Messages(messages, zeta),
            (std::vector<Shown>{{"Newer", "z2", 2, true}, {"Older", "z1", 3}}));
  // The list's root keeps its key.
  EXPECT_EQ(TopLevelTexts(list), std::vector<std::string>{"Sources"});
  EXPECT_EQ(TestData::Messages(list, "main"),
            (std::vector<Shown>{
                {"Alpha", "http://h/a", 4}, {"Hand", "http://h/x", 4}, {"Zeta", "http://h/z", 4}}));
  // Only the identifiers got folders (Alpha had none yet).
  std::set<std::string> folders;
  for (const auto& entry : std::filesystem::directory_iterator(mAppFunctions::DataPath))
    if (entry.is_directory()) folders.insert(entry.path().filename().string());
  EXPECT_EQ(folders, (std::set<std::string>{zeta, alpha}));
  EXPECT_EQ(std::filesystem::exists(mAppFunctions::DataPath + "/../x"), false);
  WriteAll(SubscriptionFilePath(), "<sources>");
  EXPECT_EQ(LoadSubscriptions(messages), false);
  EXPECT_EQ(messages.Count(), 0u);
}
