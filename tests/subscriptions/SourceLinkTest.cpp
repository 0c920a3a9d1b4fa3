#include "subscriptions/DropBoxLogic.h"
#include "subscriptions/SourceLink.h"
#include "subscriptions/SubscriptionChecks.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <optional>
#include <string>
#include <vector>

using namespace TestData;
using SubscriptionChecks::Refusal;

namespace {

// Links typed without a scheme were accepted and then failed at every check; file:// links
// too. "HTTP://Host:80/x" was stored as typed and let the same source in a second time.
TEST(SourceLink, NewLinksAreStoredInTheFormTheWebComparesAndUnfetchableOnesAreRefused) {
  const struct {
    const char* name;
    const char* typed;
    std::optional<std::string> stored;
  } rows[] = {
      {"no scheme", "news.quillpost.test/letters?x=1", "http://news.quillpost.test/letters?x=1"},
      {"no scheme, a port, blanks around", "  127.0.0.1:8080/feed.xml?list=news.quillpost.test\r\n",
       "http://127.0.0.1:8080/feed.xml?list=news.quillpost.test"},
      {"no scheme, a host without dot", "localhost:8080/news.quillpost.test",
       "http://localhost:8080/news.quillpost.test"},
      {"no scheme, only two slashes", "//News.Quillpost.Test/x", "http://news.quillpost.test/x"},
      {"scheme and host lowered, path and query exact",
       "HTTPS://News.QuillPost.Test/Letters?List=A#Top",
       "https://news.quillpost.test/Letters?List=A#Top"},
      {"default http port", "HTTP://Host:80/x", "http://host/x"},
      {"default https port, leading zeros", "https://host:00443?q", "https://host?q"},
      {"other port kept", "https://host:80/x", "https://host:80/x"},
      {"empty port", "http://host:/x", "http://host/x"},
      {"user and password exact, the last @ ends them", "http://Ann:Pw@x@Host:80/",
       "http://Ann:Pw@x@host/"},
      {"IPv6", "http://[::FFFF:7F00:1]:80/x", "http://[::ffff:7f00:1]/x"},
      {"IPv6 with port", "https://[2001:DB8::1]:8443", "https://[2001:db8::1]:8443"},
      {"host in the query is no host",
       "http://127.0.0.1:41234/nightsky.xml?list=News.Quillpost.Test",
       "http://127.0.0.1:41234/nightsky.xml?list=News.Quillpost.Test"},
      {"no slashes after https", "https:news.quillpost.test/x", std::nullopt},
      {"one slash after http", "http:/news.quillpost.test", std::nullopt},
      {"http and a number", "http:8080/news.quillpost.test", std::nullopt},
      {"empty host", "http:///news.quillpost.test", std::nullopt},
      {"empty host after user", "http://news.quillpost.test@:80/", std::nullopt},
      {"blank in host", "http://news quillpost.test/", std::nullopt},
      {"IPv6 unclosed", "http://[::1/news.quillpost.test", std::nullopt},
      {"IPv6 zone", "http://[fe80::1%25eth0]/news.quillpost.test", std::nullopt},
      {"IPv6 then junk", "http://[::1]x/news.quillpost.test", std::nullopt},
      {"port no number", "http://news.quillpost.test:http/", std::nullopt},
      {"port too large", "http://news.quillpost.test:65536/", std::nullopt},
      {"file", "file:///home/news.quillpost.test", std::nullopt},
      {"ftp", "ftp://news.quillpost.test/feed", std::nullopt},
      {"javascript", "javascript:alert('news.quillpost.test')", std::nullopt},
  };
  for (const auto& row : rows) {
    const std::optional<std::string> stored = SourceLink::Normalized(row.typed);
    EXPECT_EQ(stored, row.stored) << row.name;
    if (stored) {
      EXPECT_EQ(SourceLink::Normalized(*stored), stored) << row.name << ": twice";
    }
  }
}

class NewSource : public DataFolderTest {};

// A link stored before these rules keeps its form in the file, but is still found again.
TEST_F(NewSource, ChecksComeInOrderAndTheDuplicateTestComparesBothSidesInTheStoredForm) {
  AddSource("Letters", "http://news.quillpost.test/letters");
  AddSource("Old notes", "HTTP://News.Quillpost.Test:80/notes");
  const struct {
    SubscriptionChecks::SourceFields fields;
    Refusal refusal;
  } rows[] = {
      {{" ", "file:///x"}, Refusal::BlankTitle},
      {{"T", " "}, Refusal::BlankLink},
      {{"T", "http://elsewhere.test/"}, Refusal::InvalidLink},
      {{"T", "https:news.quillpost.test/x"}, Refusal::InvalidLink},
      {{"T", "HTTP://NEWS.quillpost.test:80/letters"}, Refusal::AlreadySubscribed},
      {{"T", "news.quillpost.test/notes"}, Refusal::AlreadySubscribed},
      {{"T", "http://news.quillpost.test/Notes"}, Refusal::None},
      {{"T", "http://news.quillpost.test:8080/notes"}, Refusal::None},
  };
  for (const auto& row : rows) {
    std::string link;
    EXPECT_EQ(SubscriptionChecks::CheckNewSource(row.fields, link), row.refusal) << row.fields.link;
  }
  TreeControl tree("tvMessages");
  EXPECT_EQ(SubscriptionChecks::Subscribe({"New", " News.Quillpost.Test:0080/New "}, tree).done,
            true);
  std::vector<mSubscriptions::MessageSource> sources;
  mSubscriptions::ReadSources(sources);
  EXPECT_EQ(sources.at(1).Link, "HTTP://News.Quillpost.Test:80/notes");
  EXPECT_EQ(sources.at(2).Link, "http://news.quillpost.test/New");
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "http:/news.quillpost.test"), false);
  EXPECT_EQ(platform.messageBox.shown.back().title, SourceLink::kInvalidLinkTitle);
}

}  // namespace
