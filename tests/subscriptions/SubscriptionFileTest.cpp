#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using namespace mSubscriptions;
using TestSupport::FakePlatform;
using TestSupport::ReadAll;
using TestSupport::ShownBox;
using TestSupport::WriteAll;

namespace {

const char* const kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--\r\nDocument   : "
    "subscriptions.dat\r\n-->\r\n";

class SubscriptionFile : public ::testing::Test {
 protected:
  void SetUp() override { mAppFunctions::InitializeDataFolder(); }

  void WriteFile(const std::string& content) { WriteAll(SubscriptionFilePath(), content); }
  void WriteSources(const std::string& children) {
    WriteFile(std::string(kHeader) + "<sources>\r\n" + children + "</sources>\r\n");
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
  // Every operation on a broken file shows the same box and leaves the file as it was.
  void ExpectEveryOperationRefuses(const ShownBox& box) {
    const std::string before = ReadAll(SubscriptionFilePath());
    std::vector<MessageSource> sources;
    EXPECT_FALSE(ReadSources(sources));
    for (SourceAction action :
         {SourceAction::Update, SourceAction::Delete, SourceAction::Exists, SourceAction::Load}) {
      EXPECT_FALSE(Act(action, "http://h/a"));
    }
    EXPECT_FALSE(AddSource("T", "http://h/a"));
    EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>(6, box));
    EXPECT_EQ(ReadAll(SubscriptionFilePath()), before);
  }

  FakePlatform platform;
};

}  // namespace

TEST_F(SubscriptionFile, FileThatIsNotXmlIsReportedAsDamaged) {
  WriteFile("this is not xml <sources>");
  ExpectEveryOperationRefuses(
      {"Failed to load Subscription List. Invalid File format or file is damaged. Please "
       "reinstall the application to resolve this issue.",
       "Failed to load Subscription List.", 16});
}

TEST_F(SubscriptionFile, FileWithoutSourcesIsReportedAsInvalidFormat) {
  WriteFile(std::string(kHeader) +
            "<subscriptions><source id='1' title='t'>x</source>"
            "</subscriptions>\r\n");
  ExpectEveryOperationRefuses(
      {"Failed to load Subscription List. Invalid File Format.", "Error!", 16});
}

TEST_F(SubscriptionFile, AddedSourcesAppendInOrderWithIdBeforeTitle) {
  ASSERT_TRUE(AddSource("First", "http://h/1"));
  ASSERT_TRUE(AddSource("Caf\xC3\xA9 & <Co>", "http://h/2?a=1&b=2"));
  const std::vector<MessageSource> sources = Read();
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].Title, "First");
  EXPECT_EQ(sources[0].Link, "http://h/1");
  EXPECT_EQ(sources[1].Title, "Caf\xC3\xA9 & <Co>");
  EXPECT_EQ(sources[1].Link, "http://h/2?a=1&b=2");
  EXPECT_TRUE(IsSourceID(sources[0].ID)) << sources[0].ID;
  EXPECT_TRUE(IsSourceID(sources[1].ID)) << sources[1].ID;
  EXPECT_NE(sources[0].ID, sources[1].ID);

  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(SubscriptionFilePath()));
  const std::vector<XmlAttribute> attributes = document.FindFirstElement("source").Attributes();
  EXPECT_EQ(attributes, (std::vector<XmlAttribute>{{"id", sources[0].ID}, {"title", "First"}}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST_F(SubscriptionFile, AddWithoutRandomBytesWritesNothing) {
  const std::string before = ReadAll(SubscriptionFilePath());
  platform.random.fail = true;
  EXPECT_FALSE(AddSource("T", "http://h/1"));
  EXPECT_EQ(ReadAll(SubscriptionFilePath()), before);
  ASSERT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Error !");
}

TEST_F(SubscriptionFile, LinksMatchExactlyAndCaseSensitively) {
  ASSERT_TRUE(AddSource("T", "http://h/Feed"));
  EXPECT_TRUE(Act(SourceAction::Exists, "http://h/Feed"));
  EXPECT_FALSE(Act(SourceAction::Exists, "http://h/feed"));
  EXPECT_FALSE(Act(SourceAction::Exists, "http://h/Feed/"));
  EXPECT_FALSE(Act(SourceAction::Exists, "http://h/"));
  EXPECT_FALSE(Act(SourceAction::Exists, ""));
  // A different case is a different source: deleting it leaves this one alone.
  EXPECT_FALSE(Act(SourceAction::Delete, "HTTP://H/FEED"));
  EXPECT_EQ(Read().size(), 1u);
}

TEST_F(SubscriptionFile, DeletingTheFirstOfThreeKeepsTheOthersInOrder) {
  WriteSources(
      "  <source id=\"I1\" title=\"A\">http://h/a</source>\r\n"
      "  <source id=\"I2\" title=\"B\">http://h/b</source>\r\n"
      "  <source id=\"I3\" title=\"C\">http://h/c</source>\r\n");
  EXPECT_TRUE(Act(SourceAction::Delete, "http://h/a"));
  EXPECT_EQ(Read(),
            (std::vector<MessageSource>{{"B", "http://h/b", "I2"}, {"C", "http://h/c", "I3"}}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST_F(SubscriptionFile, DeleteRemovesEveryMatchIncludingNeighbours) {
  WriteSources(
      "<source id=\"I1\" title=\"A\">http://h/a</source>"
      "<source id=\"I2\" title=\"A2\">http://h/a</source>"
      "<source id=\"I3\" title=\"B\">http://h/b</source>"
      "<source id=\"I4\" title=\"A3\">http://h/a</source>");
  EXPECT_TRUE(Act(SourceAction::Delete, "http://h/a"));
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"B", "http://h/b", "I3"}}));
}

TEST_F(SubscriptionFile, UpdateWritesTitleAndLinkAndKeepsHeader) {
  WriteSources(
      "<source id=\"I1\" title=\"Old\">http://h/old</source>"
      "<source id=\"I2\" title=\"Other\">http://h/other</source>");
  EditedSource = {"New & Improved", "http://h/new", "ignored"};
  EXPECT_TRUE(Act(SourceAction::Update, "http://h/old"));
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"New & Improved", "http://h/new", "I1"},
                                                {"Other", "http://h/other", "I2"}}));
  const std::string saved = ReadAll(SubscriptionFilePath());
  EXPECT_EQ(
      saved.rfind(
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--\nDocument   : subscriptions.dat\n-->\n"
          "<sources>\n",
          0),
      0u)
      << saved;
  EXPECT_FALSE(Act(SourceAction::Exists, "http://h/old"));
}

TEST_F(SubscriptionFile, UpdateReplacesTitleWhereverItStands) {
  WriteSources("<source title=\"Old\" id=\"I1\">http://h/a</source>");
  EditedSource = {"New", "http://h/a", ""};
  EXPECT_TRUE(Act(SourceAction::Update, "http://h/a"));
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(SubscriptionFilePath()));
  EXPECT_EQ(document.FindFirstElement("source").Attributes(),
            (std::vector<XmlAttribute>{{"title", "New"}, {"id", "I1"}}));
}

TEST_F(SubscriptionFile, LoadFillsTheCurrentSourceAndWritesNothing) {
  WriteSources("<source id=\"I1\" title=\"A\"><![CDATA[http://h/a]]></source>");
  const std::string before = ReadAll(SubscriptionFilePath());
  EXPECT_TRUE(Act(SourceAction::Load, "http://h/a"));
  EXPECT_EQ(CurrentSource, (MessageSource{"A", "http://h/a", "I1"}));
  EXPECT_TRUE(Act(SourceAction::Exists, "http://h/a"));
  EXPECT_EQ(ReadAll(SubscriptionFilePath()), before);

  CurrentSource = {"keep", "http://h/none", "keep-id"};
  EXPECT_FALSE(ManageSource(SourceAction::Load));
  EXPECT_EQ(CurrentSource, (MessageSource{"keep", "http://h/none", "keep-id"}));
}

TEST_F(SubscriptionFile, TitleWrittenBeforeIdReadsSwapped) {
  WriteSources("<source title=\"The Title\" id=\"THE-ID\">http://h/a</source>");
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"THE-ID", "http://h/a", "The Title"}}));
  EXPECT_TRUE(Act(SourceAction::Load, "http://h/a"));
  EXPECT_EQ(CurrentSource, (MessageSource{"THE-ID", "http://h/a", "The Title"}));
}

TEST_F(SubscriptionFile, ChildrenThatAreNotSourcesAreSkipped) {
  WriteSources(
      "<!-- http://h/a -->\r\n"
      "<source id=\"only-one\">http://h/a</source>\r\n"
      "stray text\r\n"
      "<source id=\"I2\" title=\"B\">http://h/b</source>\r\n");
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"B", "http://h/b", "I2"}}));
  CurrentSource.Link = "http://h/a";
  EXPECT_FALSE(ManageSource(SourceAction::Load));
  EXPECT_EQ(CurrentSource, (MessageSource{"", "http://h/a", ""}));
}

TEST_F(SubscriptionFile, SourcesElementIsFoundAtAnyDepth) {
  WriteFile(
      "<config><other/><lists><sources><source id=\"I\" title=\"T\">L</source></sources>"
      "</lists></config>");
  EXPECT_EQ(Read(), (std::vector<MessageSource>{{"T", "L", "I"}}));
  ASSERT_TRUE(AddSource("T2", "L2"));
  EXPECT_EQ(Read().size(), 2u);
}

TEST_F(SubscriptionFile, UnknownActionCodeDoesNothing) {
  WriteSources("<source id=\"I1\" title=\"A\">http://h/a</source>");
  const std::string before = ReadAll(SubscriptionFilePath());
  EXPECT_FALSE(Act(static_cast<SourceAction>(3), "http://h/a"));
  EXPECT_EQ(ReadAll(SubscriptionFilePath()), before);
}
