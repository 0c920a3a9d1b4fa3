#include "retrieval/HttpService.h"

#include "feedserver/FeedServer.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// Routes are written with designated initializers; the fields they leave out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using TestSupport::FeedRoute;
using TestSupport::FeedServer;

const QByteArray kFeed =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<rss version=\"2.0\"><channel><title>Letters</title>"
    "<item><guid>a1</guid><title>Grüße</title></item></channel></rss>\n";
const std::string kNotHttp = "not an http or https link";
const std::vector<int> kSuccessStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

struct Fetched {
  Services::IHttp::Result result;
  std::vector<int> states;
  // The states with repeats of "receiving" folded into one.
  std::vector<int> Distinct() const {
    std::vector<int> out = states;
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }
};

class HttpServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(server.Listen(), true); }
  Fetched Fetch(const std::string& url, HttpService* service = nullptr) {
    Fetched fetched;
    fetched.result = (service ? *service : http).FetchText(url, [&](int state) {
      fetched.states.push_back(state);
    });
    return fetched;
  }

  FeedServer server;
  HttpService http;
};

}  // namespace

TEST_F(HttpServiceTest, AnswersArriveWithEveryStateInOrder) {
  server.Serve("/feed", kFeed);
  server.SetRedirectChain("/ten", 10, "/feed");
  server.SetRedirect("/absolute", QByteArray::fromStdString(server.Url("/feed")), 301);
  server.SetRoute("/slow",
                  {.body = kFeed, .latencyMs = 100, .dripBytes = 40, .dripIntervalMs = 20});
  server.SetRoute("/zipped", {.body = FeedServer::Gzip(kFeed), .gzip = true});
  // The second fetch of /feed reuses the connection; the slow answer arrives in pieces.
  for (const std::string path :
       {"/feed?source=a%20b&x=1", "/feed", "/ten", "/absolute", "/zipped", "/slow"}) {
    const Fetched fetched = Fetch(server.Url(path));
    EXPECT_EQ(fetched.result.error, "") << path;
    EXPECT_EQ(fetched.result.ok, true) << path;
    EXPECT_EQ(fetched.result.status, 200) << path;
    EXPECT_EQ(fetched.result.text, kFeed.toStdString()) << path;
    EXPECT_EQ(fetched.Distinct(), kSuccessStates) << path;
    EXPECT_GT(std::count(fetched.states.begin(), fetched.states.end(), 7), path == "/slow" ? 1 : 0);
  }
  const auto first = server.Requests().at(0);
  EXPECT_EQ(first.method + " " + first.target, "GET /feed?source=a%20b&x=1");
  EXPECT_EQ(first.Header("Accept-Encoding").contains("gzip"), true);
}

TEST_F(HttpServiceTest, FailuresGiveNoTextAndTheirReason) {
  HttpService::Limits limits;
  limits.maxBodyBytes = 1 << 20;
  HttpService capped(limits);

  server.Serve("/final", kFeed);
  server.SetStatus("/gone", 404, "<html>not here</html>");
  server.SetStatus("/broken", 500, "<rss/>");
  server.SetRedirectChain("/eleven", 11, "/final");
  server.SetRedirect("/to-file", "file:///etc/hostname");
  server.Serve("/exact", QByteArray(1 << 20, 'a'));
  server.Serve("/over", QByteArray((1 << 20) + 1, 'a'));
  // Under Qt's own bomb check (10 MiB), so the cap on inflated bytes must catch it.
  server.SetRoute("/small-bomb",
                  {.body = FeedServer::GzipOfZeros(std::int64_t{8} << 20), .gzip = true});
  server.SetRoute("/cut", {.body = kFeed, .closeAfterBytes = 40});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {server.Url("/gone"), "server answered 404"},
      {server.Url("/broken"), "server answered 500"},
      {server.Url("/eleven"), "more than 10 redirects"},
      {server.Url("/to-file"), "redirect to a link that is not http or https refused"},
      {server.Url("/over"), "answer larger than 1 MiB"},
      {server.Url("/small-bomb"), "answer larger than 1 MiB"},
      {server.Url("/cut"), "Connection closed"},
      {"http://127.0.0.1:1/feed", "Connection refused"},  // nothing listens on port 1
      // Regression: a subscription must not read local files; refused before any access.
      {"file:///etc/hostname", kNotHttp},
      {"/etc/hostname", kNotHttp},
      {"ftp://127.0.0.1/feed", kNotHttp},
      {"data:text/xml,<rss/>", kNotHttp},
      {"", kNotHttp},
      {"http:///no-host", kNotHttp},
  };
  for (const auto& [url, error] : cases) {
    const Fetched fetched = Fetch(url, &capped);
    EXPECT_EQ(fetched.result.error, error) << url;
    EXPECT_EQ(fetched.result.ok, false) << url;
    EXPECT_EQ(fetched.result.text, "") << url;
    EXPECT_EQ(fetched.states.front(), error == kNotHttp ? 11 : 1) << url;
    EXPECT_EQ(fetched.states.back(), 11) << url;
    EXPECT_EQ(std::count(fetched.states.begin(), fetched.states.end(), 11), 1) << url;
  }
  // An answer of exactly the cap arrives.
  EXPECT_EQ(Fetch(server.Url("/exact"), &capped).result.text.size(), std::size_t{1} << 20);
}

TEST_F(HttpServiceTest, TheAnswerIsDecodedByItsCharset) {
  const std::vector<std::array<std::string, 3>> cases = {
      {"windows-1251", "<a>\xCF\xF0</a>", "<a>Пр</a>"},
      // Not in the logic's tables: Qt's converters (ICU) decode it.
      {"Shift_JIS", "<a>\x93\xFA\x96\x7B</a>", "<a>日本</a>"}};
  for (const auto& [charset, body, text] : cases) {
    server.Serve("/feed", body.c_str(), ("text/xml; charset=" + charset).c_str());
    EXPECT_EQ(Fetch(server.Url("/feed")).result.text, text) << charset;
  }
}
