#include "subscriptions/DropBoxLogic.h"
#include "subscriptions/SourceLink.h"
#include "subscriptions/SubscriptionChecks.h"
#include "support/DataFolder.h"

#include <optional>
#include <string>

using namespace TestData;
using SubscriptionChecks::Refusal;

namespace {

// Links typed without a scheme were accepted and then failed at every check; file:// links
// too.
TEST(SourceLink, LinksGetHttpWhenTheyNameNoSchemeAndOtherSchemesAreRefused) {
  const struct {
    const char* typed;
    std::optional<std::string> stored;
  } cases[] = {
      {"news.quillpost.test/letters?x=1", "http://news.quillpost.test/letters?x=1"},
      {"  127.0.0.1:8080/feed.xml?list=news.quillpost.test\r\n",
       "http://127.0.0.1:8080/feed.xml?list=news.quillpost.test"},
      {"localhost:8080/news.quillpost.test", "http://localhost:8080/news.quillpost.test"},
      {"HTTPS://news.quillpost.test/a", "HTTPS://news.quillpost.test/a"},
      {"http://news.quillpost.test/a", "http://news.quillpost.test/a"},
      {"file:///home/news.quillpost.test", std::nullopt},
      {"ftp://news.quillpost.test/feed", std::nullopt},
      {"javascript:alert('news.quillpost.test')", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceLink::Normalized(c.typed), c.stored) << c.typed;
}

class NewSource : public DataFolderTest {};

TEST_F(NewSource, ChecksComeInOrderAndCompareTheStoredForm) {
  AddSource("Letters", "http://news.quillpost.test/letters");
  const struct {
    SubscriptionChecks::SourceFields fields;
    Refusal refusal;
  } cases[] = {
      {{" ", "file:///x"}, Refusal::BlankTitle},
      {{"T", " "}, Refusal::BlankLink},
      {{"T", "http://elsewhere.test/"}, Refusal::InvalidLink},
      {{"T", "file:///news.quillpost.test"}, Refusal::InvalidLink},
      {{"T", "news.quillpost.test/letters"}, Refusal::AlreadySubscribed},
      {{"T", "news.quillpost.test/notes"}, Refusal::None},
  };
  for (const auto& c : cases) {
    std::string link;
    EXPECT_EQ(SubscriptionChecks::CheckNewSource(c.fields, link), c.refusal) << c.fields.link;
  }
  std::string link;
  SubscriptionChecks::CheckNewSource({"Notes", " news.quillpost.test/notes "}, link);
  EXPECT_EQ(link, "http://news.quillpost.test/notes");
  TreeControl tree("tvMessages");
  EXPECT_EQ(SubscriptionChecks::Subscribe({"Notes", "news.quillpost.test/notes"}, tree).done, true);
  EXPECT_EQ(TopLevelTexts(tree), (std::vector<std::string>{"Letters", "Notes"}));
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "file:///news.quillpost.test"), false);
  EXPECT_EQ(platform.messageBox.shown.back().title, SourceLink::kInvalidLinkTitle);
}

}  // namespace
