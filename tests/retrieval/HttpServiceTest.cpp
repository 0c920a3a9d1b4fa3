#include "retrieval/HttpService.h"

#include "feedserver/FeedServer.h"
#include "retrieval/Download.h"
#include "support/FakeServices.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using TestSupport::FeedRoute;
using TestSupport::FeedServer;

const QByteArray kFeed =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<rss version=\"2.0\"><channel><title>Letters</title>"
    "<item><guid>a1</guid><title>Grüße</title></item></channel></rss>\n";

struct Fetched {
  Services::IHttp::Result result;
  std::vector<int> states;
  // The states with repeats of "receiving" folded into one.
  std::vector<int> Distinct() const {
    std::vector<int> out;
    for (int s : states) {
      if (out.empty() || out.back() != s) out.push_back(s);
    }
    return out;
  }
};

Fetched Fetch(HttpService& http, const std::string& url) {
  Fetched fetched;
  fetched.result = http.FetchText(url, [&](int state) { fetched.states.push_back(state); });
  return fetched;
}

const std::vector<int> kSuccessStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

HttpService::Limits ShortLimits() {
  HttpService::Limits limits;
  limits.timeoutMs = 1500;
  limits.maxBodyBytes = 1 << 20;
  return limits;
}

class HttpServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(server.Listen(), true); }
  FeedServer server;
  HttpService http;
};

TEST_F(HttpServiceTest, SuccessfulFetchPassesEveryStateInOrder) {
  server.Serve("/feed", kFeed);
  const std::string url = server.Url("/feed?source=a%20b&x=1");
  for (int round = 1; round <= 2; ++round) {  // the second one reuses the connection
    const Fetched fetched = Fetch(http, url);
    EXPECT_EQ(fetched.result.ok, true) << fetched.result.error;
    EXPECT_EQ(fetched.result.status, 200);
    EXPECT_EQ(fetched.result.text, kFeed.toStdString());
    EXPECT_EQ(fetched.result.error, "");
    EXPECT_EQ(fetched.Distinct(), kSuccessStates) << "round " << round;
    EXPECT_EQ(Download::TranslateINetState(fetched.states.back()),
              "Server Communication complete.");
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/feed?source=a%20b&x=1");
  EXPECT_EQ(requests[0].Header("Accept-Encoding").contains("gzip"), true);
}

TEST_F(HttpServiceTest, ErrorStatusGivesEmptyFailureWithItsStatus) {
  server.SetStatus("/gone", 404, "<html>not here</html>");
  server.SetStatus("/broken", 500, "<rss/>");
  for (const auto& [path, status] : {std::pair{"/gone", 404}, std::pair{"/broken", 500}}) {
    const Fetched fetched = Fetch(http, server.Url(path));
    EXPECT_EQ(fetched.result.ok, false);
    EXPECT_EQ(fetched.result.status, status);
    EXPECT_EQ(fetched.result.text, "");
    EXPECT_EQ(fetched.result.error, "server answered " + std::to_string(status));
    EXPECT_EQ(fetched.states.back(), 11);
    EXPECT_EQ(std::count(fetched.states.begin(), fetched.states.end(), 11), 1);
  }
}

TEST_F(HttpServiceTest, RefusedConnectionFailsWithReason) {
  QTcpServer placeholder;
  ASSERT_EQ(placeholder.listen(QHostAddress::LocalHost), true);
  const quint16 port = placeholder.serverPort();
  placeholder.close();
  const Fetched fetched = Fetch(http, "http://127.0.0.1:" + std::to_string(port) + "/feed");
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.status, 0);
  EXPECT_NE(fetched.result.error, "");
  EXPECT_EQ(fetched.Distinct().front(), 1);
  EXPECT_EQ(fetched.states.back(), 11);
}

TEST_F(HttpServiceTest, DrippingAnswerTimesOutAsAWhole) {
  FeedRoute drip;
  drip.body = kFeed;
  drip.dripBytes = 1;
  drip.dripIntervalMs = 1000;
  server.SetRoute("/drip", drip);
  HttpService quick(ShortLimits());
  QElapsedTimer clock;
  clock.start();
  const Fetched fetched = Fetch(quick, server.Url("/drip"));
  EXPECT_LT(clock.elapsed(), 10'000);
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.text, "");
  EXPECT_EQ(fetched.result.error, "no complete answer within 1500 ms");
  EXPECT_EQ(fetched.states.back(), 11);
}

TEST_F(HttpServiceTest, SlowButTimelyAnswerArrivesInPieces) {
  FeedRoute drip;
  drip.body = kFeed;
  drip.dripBytes = 40;
  drip.dripIntervalMs = 20;
  drip.latencyMs = 100;
  server.SetRoute("/slow", drip);
  const Fetched fetched = Fetch(http, server.Url("/slow"));
  EXPECT_EQ(fetched.result.text, kFeed.toStdString());
  EXPECT_EQ(fetched.Distinct(), kSuccessStates);
  EXPECT_GT(std::count(fetched.states.begin(), fetched.states.end(), 7), 1);
}

TEST_F(HttpServiceTest, RedirectsAreFollowedUpToTen) {
  server.Serve("/final", kFeed);
  server.SetRedirectChain("/ten", 10, "/final");
  server.SetRedirectChain("/eleven", 11, "/final");
  server.SetRedirect("/absolute", QByteArray::fromStdString(server.Url("/final")), 301);

  Fetched fetched = Fetch(http, server.Url("/ten"));
  EXPECT_EQ(fetched.result.ok, true) << fetched.result.error;
  EXPECT_EQ(fetched.result.text, kFeed.toStdString());
  EXPECT_EQ(fetched.Distinct(), kSuccessStates);

  fetched = Fetch(http, server.Url("/absolute"));
  EXPECT_EQ(fetched.result.text, kFeed.toStdString());

  fetched = Fetch(http, server.Url("/eleven"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.text, "");
  EXPECT_EQ(fetched.result.error, "more than 10 redirects");
}

TEST_F(HttpServiceTest, RedirectLoopEndsInFailure) {
  server.SetRedirectLoop("/loop");
  const Fetched fetched = Fetch(http, server.Url("/loop"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.error, "more than 10 redirects");
  EXPECT_EQ(fetched.states.back(), 11);
  EXPECT_EQ(server.Requests().size(), 11u);
}

TEST_F(HttpServiceTest, LocalFilesAreNeverRead) {
  TestSupport::TempFolder folder;
  TestSupport::WriteAll(folder.File("secret.xml"), "<rss>secret</rss>");
  const std::string fileLink = "file://" + folder.File("secret.xml");
  for (const std::string& link :
       {fileLink, folder.File("secret.xml"), std::string("ftp://127.0.0.1/feed"),
        std::string("data:text/xml,<rss/>"), std::string("qrc:/feed.xml"), std::string(""),
        std::string("http:///no-host")}) {
    const Fetched fetched = Fetch(http, link);
    EXPECT_EQ(fetched.result.ok, false) << link;
    EXPECT_EQ(fetched.result.text, "") << link;
    EXPECT_EQ(fetched.result.error, "not an http or https link") << link;
    EXPECT_EQ(fetched.states, std::vector<int>{11}) << link;
  }
  // Nor through a redirect.
  server.SetRedirect("/to-file", QByteArray::fromStdString(fileLink));
  const Fetched redirected = Fetch(http, server.Url("/to-file"));
  EXPECT_EQ(redirected.result.ok, false);
  EXPECT_EQ(redirected.result.text, "");
  EXPECT_EQ(redirected.result.error, "redirect to a link that is not http or https refused");
}

TEST_F(HttpServiceTest, BodyOverTheCapFails) {
  HttpService capped(ShortLimits());
  server.Serve("/exact", QByteArray(1 << 20, 'a'));
  server.Serve("/over", QByteArray((1 << 20) + 1, 'a'));
  FeedRoute endless;
  endless.endless = true;
  server.SetRoute("/endless", endless);

  EXPECT_EQ(Fetch(capped, server.Url("/exact")).result.text.size(), std::size_t{1} << 20);
  for (const char* path : {"/over", "/endless"}) {
    const Fetched fetched = Fetch(capped, server.Url(path));
    EXPECT_EQ(fetched.result.ok, false) << path;
    EXPECT_EQ(fetched.result.text, "") << path;
    EXPECT_EQ(fetched.result.error, "answer larger than 1 MiB") << path;
    EXPECT_EQ(fetched.states.back(), 11) << path;
  }
}

TEST_F(HttpServiceTest, EndlessAnswerStopsAtThe32MiBCap) {
  FeedRoute endless;
  endless.endless = true;
  server.SetRoute("/endless", endless);
  const Fetched fetched = Fetch(http, server.Url("/endless"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.error, "answer larger than 32 MiB");
}

TEST_F(HttpServiceTest, ConnectionClosedMidBodyFails) {
  FeedRoute cut;
  cut.body = kFeed;
  cut.closeAfterBytes = 40;
  server.SetRoute("/cut", cut);
  const Fetched fetched = Fetch(http, server.Url("/cut"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.text, "");
  EXPECT_NE(fetched.result.error, "");
  EXPECT_EQ(fetched.states.back(), 11);
}

TEST_F(HttpServiceTest, GzipAnswerIsInflated) {
  FeedRoute zipped;
  zipped.body = FeedServer::Gzip(kFeed);
  zipped.gzip = true;
  server.SetRoute("/zipped", zipped);
  const Fetched fetched = Fetch(http, server.Url("/zipped"));
  EXPECT_EQ(fetched.result.ok, true) << fetched.result.error;
  EXPECT_EQ(fetched.result.text, kFeed.toStdString());
}

TEST_F(HttpServiceTest, GzipBombIsStopped) {
  FeedRoute bomb;
  bomb.gzip = true;
  // Under Qt's own bomb check (10 MiB), so the cap on inflated bytes must catch it.
  bomb.body = FeedServer::GzipOfZeros(std::int64_t{8} << 20);
  server.SetRoute("/small-bomb", bomb);
  HttpService capped(ShortLimits());
  Fetched fetched = Fetch(capped, server.Url("/small-bomb"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.error, "answer larger than 1 MiB");

  bomb.body = FeedServer::GzipOfZeros(std::int64_t{64} << 20);
  server.SetRoute("/big-bomb", bomb);
  fetched = Fetch(http, server.Url("/big-bomb"));
  EXPECT_EQ(fetched.result.ok, false);
  EXPECT_EQ(fetched.result.text, "");
  EXPECT_EQ(fetched.states.back(), 11);
}

TEST_F(HttpServiceTest, CharsetsOfHeaderAndDeclarationAreDecoded) {
  struct Case {
    const char* path;
    QByteArray contentType;
    QByteArray body;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"/1251-header", "application/rss+xml; charset=windows-1251",
       "<rss><title>\xCF\xF0\xE8\xE2\xE5\xF2</title></rss>", "<rss><title>Привет</title></rss>"},
      {"/1251-declaration", "application/rss+xml",
       "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss>\xCF\xF0\xE8\xE2\xE5\xF2</rss>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss>Привет</rss>"},
      {"/latin1-header", "text/xml; charset=ISO-8859-1", "<rss>Caf\xE9</rss>", "<rss>Café</rss>"},
      {"/latin1-declaration", "text/xml",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss>Caf\xE9</rss>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss>Café</rss>"},
      // Not in the logic's tables: decoded by Qt's converters (ICU).
      {"/shift-jis", "text/xml; charset=Shift_JIS", "<a>\x93\xFA\x96\x7B</a>", "<a>日本</a>"},
      {"/unknown", "text/xml; charset=x-no-such-thing", "<a>\xC3\xA9\xFF</a>", "<a>é\uFFFD</a>"},
  };
  for (const auto& c : cases) server.Serve(c.path, c.body, c.contentType);
  for (const auto& c : cases) {
    const Fetched fetched = Fetch(http, server.Url(c.path));
    EXPECT_EQ(fetched.result.text, c.expected) << c.path;
  }
}

TEST(FeedServer, OwnThreadServesManyBlockingClientsAtOnce) {
  FeedServer server(FeedServer::Threading::Own);
  ASSERT_EQ(server.Listen(), true);
  server.Serve("/feed", kFeed);
  constexpr int kClients = 100;
  std::vector<std::unique_ptr<QTcpSocket>> clients;
  for (int i = 0; i < kClients; ++i) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_EQ(socket->waitForConnected(5000), true) << i;
    clients.push_back(std::move(socket));
  }
  for (auto& socket : clients) {
    socket->write("GET /feed HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  }
  int complete = 0;
  for (auto& socket : clients) {
    QByteArray answer;
    while (socket->state() == QAbstractSocket::ConnectedState && socket->waitForReadyRead(5000)) {
      answer += socket->readAll();
    }
    answer += socket->readAll();
    if (answer.startsWith("HTTP/1.1 200 OK") && answer.endsWith(kFeed)) ++complete;
  }
  EXPECT_EQ(complete, kClients);
  EXPECT_EQ(server.ConnectionsAccepted(), kClients);
}

TEST(FeedServer, FolderServesItsOwnFilesOnly) {
  TestSupport::TempFolder folder;
  TestSupport::WriteAll(folder.File("one.xml"), kFeed.toStdString());
  TestSupport::WriteAll(folder.File(".hidden"), "x");
  FeedServer server;
  ASSERT_EQ(server.Listen(), true);
  server.ServeFolder(QString::fromStdString(folder.path()));
  HttpService http;
  EXPECT_EQ(Fetch(http, server.Url("/one.xml")).result.text, kFeed.toStdString());
  for (const char* path : {"/missing.xml", "/.hidden", "/%2E%2E%2Fetc%2Fpasswd", "/sub/one.xml"}) {
    EXPECT_EQ(Fetch(http, server.Url(path)).result.status, 404) << path;
  }
}

TEST(FeedServerProgram, PrintsItsPortAndServesTheFolder) {
  TestSupport::TempFolder folder;
  TestSupport::WriteAll(folder.File("feed-001.xml"), kFeed.toStdString());
  QProcess program;
  program.start(QP_FEED_SERVER_PATH, {"--dir", QString::fromStdString(folder.path())});
  ASSERT_EQ(program.waitForStarted(5000), true);
  ASSERT_EQ(program.waitForReadyRead(10000), true);
  const int port = program.readLine().trimmed().toInt();
  ASSERT_GT(port, 0);
  HttpService http;
  const Fetched fetched = Fetch(http, "http://127.0.0.1:" + std::to_string(port) + "/feed-001.xml");
  EXPECT_EQ(fetched.result.text, kFeed.toStdString());
  program.kill();
  program.waitForFinished(5000);
}

}  // namespace
