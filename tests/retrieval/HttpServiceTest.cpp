#include "retrieval/HttpService.h"

#include "feedserver/FeedServer.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
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
const std::string kNotHttp = "scheme not http or https";
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
  limits.timeoutMs = 500;
  HttpService capped(limits);

  server.Serve("/final", kFeed);
  server.SetStatus("/gone", 404, "<html>not here</html>");
  server.SetStatus("/broken", 500, "<rss/>");
  server.SetStatus("/unasked", 304);
  server.SetRedirectChain("/eleven", 11, "/final");
  server.SetRedirect("/to-file", "file:///etc/hostname");
  server.Serve("/exact", QByteArray(1 << 20, 'a'));
  server.Serve("/over", QByteArray((1 << 20) + 1, 'a'));
  // Under Qt's own bomb check (10 MiB), so the cap on inflated bytes must catch it.
  server.SetRoute("/small-bomb",
                  {.body = FeedServer::GzipOfZeros(std::int64_t{8} << 20), .gzip = true});
  server.SetRoute("/cut", {.body = kFeed, .closeAfterBytes = 40});
  server.SetRoute("/late", {.body = kFeed, .latencyMs = 5000});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {server.Url("/gone"), "HTTP 404 Not Found"},
      {server.Url("/broken"), "HTTP 500 Internal Server Error"},
      {server.Url("/unasked"), "HTTP 304 Not Modified"},  // no validators were sent
      {server.Url("/eleven"), "too many redirects (more than 10)"},
      {server.Url("/late"), "timed out after 500 ms"},
      {server.Url("/to-file"), "redirect to a link that is not http or https refused"},
      {server.Url("/over"), "answer larger than 1 MiB"},
      {server.Url("/small-bomb"), "answer larger than 1 MiB"},
      {server.Url("/cut"), "connection closed by the server"},
      {"http://127.0.0.1:1/feed", "connection refused"},  // nothing listens on port 1
      // Regression: a subscription must not read local files; refused before any access.
      {"file:///etc/hostname", kNotHttp},
      {"/etc/hostname", kNotHttp},
      {"ftp://127.0.0.1/feed", kNotHttp},
      {"data:text/xml,<rss/>", kNotHttp},
      {"", kNotHttp},
      {"http:///no-host", "no host in the link"},
  };
  for (const auto& [url, error] : cases) {
    const Fetched fetched = Fetch(url, &capped);
    EXPECT_EQ(fetched.result.error, error) << url;
    EXPECT_EQ(fetched.result.ok, false) << url;
    EXPECT_EQ(fetched.result.text, "") << url;
    EXPECT_EQ(fetched.states.front(), url.starts_with("http://127") ? 1 : 11) << url;
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

// Several transfers at once, each with the validators it was given; an abort ends a wait at once.
TEST_F(HttpServiceTest, TransfersOverlapSendValidatorsAndAnAbortEndsTheWaitAtOnce) {
  TestSupport::TempFolder folder;
  TestSupport::WriteAll(folder.File("feed.xml"), kFeed.toStdString());
  std::filesystem::last_write_time(
      folder.File("feed.xml"),
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  server.ServeFolder(QString::fromStdString(folder.path()));
  const Fetched first = Fetch(server.Url("/feed.xml"));
  EXPECT_EQ(first.result.etag.empty() || first.result.lastModified.empty(), false);

  server.SetRoute("/hang", {.body = kFeed, .latencyMs = 60'000});
  server.SetLatency(200);  // so that the transfers cannot take turns on one connection
  std::vector<Services::IHttp::TransferId> ids;
  for (int i = 0; i < 3; ++i) {
    ids.push_back(
        http.Start({server.Url("/feed.xml"), first.result.etag, first.result.lastModified}, {}));
  }
  const auto hanging = http.Start({server.Url("/hang")}, {});
  while (!http.Finished(ids[0]) || !http.Finished(ids[1]) || !http.Finished(ids[2]))
    http.WaitForAny();
  EXPECT_GE(server.ConnectionsAccepted(), 4);
  for (const auto id : ids) {
    const auto result = http.Take(id);
    EXPECT_EQ(std::tuple(result.ok, result.notModified, result.status, result.text),
              std::tuple(true, true, 304, std::string()));
  }
  const auto request = server.Requests().at(1);
  EXPECT_EQ(request.Header("If-None-Match").toStdString(), first.result.etag);
  EXPECT_EQ(request.Header("If-Modified-Since").toStdString(), first.result.lastModified);

  QTimer::singleShot(50, [&] { http.Abort(hanging); });
  const auto start = std::chrono::steady_clock::now();
  http.WaitForAny();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(http.Finished(hanging), true);

  // The Date comes as the server sent it: it tells whether Last-Modified can be trusted.
  server.SetRoute("/dated",
                  {.body = kFeed, .headers = {{"Date", "Sun, 06 Nov 1994 08:49:37 GMT"}}});
  EXPECT_EQ(Fetch(server.Url("/dated")).result.date, "Sun, 06 Nov 1994 08:49:37 GMT");
}
