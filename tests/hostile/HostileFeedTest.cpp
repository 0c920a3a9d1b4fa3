// Hostile feeds against the whole check run: a data folder where one source serves a hostile feed
// and a second, good source already holds messages. Each row runs `quillpost --check` as cron
// would and asserts the outcome: the exit status, the boxes on standard error, the good source
// advanced, the hostile source's inbox holding only what it should and nothing stored before
// lost. The child's peak memory is measured, printed and held under a generous safety bound;
// bench/hostile_rss.sh collects the printed figures.
//
// The dripping server needs a time-out far below the program's 60 s: that row runs the same
// check in this process with a short HttpService limit. QP_HOSTILE_FULL_TIMEOUT=1 in the
// environment runs it as the program too, against the real time-out.

#include "TestPaths.h"
#include "config/IniDocument.h"
#include "core/mAppFunctions.h"
#include "entry/HeadlessCheck.h"
#include "feedserver/FeedServer.h"
#include "inbox/FeedParser.h"
#include "inbox/mInbox.h"
#include "retrieval/HttpService.h"
#include "subscriptions/mSubscriptions.h"
#include "support/ChildProcess.h"
#include "support/FakeServices.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using namespace std::string_literals;
using TestSupport::FakePlatform;
using TestSupport::FeedRoute;
using TestSupport::FeedServer;
using TestData::FeedWithItems;
using TestSupport::ReadAll;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A safety bound, not a figure: the shadow memory of a sanitized build counts in its RSS.
constexpr long kPeakBoundMb = kSanitized ? 2048 : 512;
// The largest feed the body cap lets through has about 200,000 items. A sanitized debug build
// takes over a minute for them; a quarter shows the same memory faults there.
constexpr int kManyItems = kSanitized ? 50'000 : 200'000;

const std::string kEmptyAnswerBox =
    "Error!\nProcess of checking for new Messages failed! Server returned empty Data stream.\n";

struct RunResult {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out, err;
  long peakKb = -1;  // the program's peak resident set; -1 for a run in this process
  double seconds = 0;
};

// Runs the program with ours plus the given environment, through the probe that measures its
// peak memory. A run that outlives the limit is killed.
RunResult RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                     const std::string& folder, std::chrono::seconds limit) {
  const std::string rssPath = folder + "/peak.txt";
  const std::string outPath = folder + "/out.txt", errPath = folder + "/err.txt";
  std::filesystem::remove(rssPath);
  std::vector<std::string> words{rssPath, QP_PROGRAM_PATH};
  words.insert(words.end(), args.begin(), args.end());
  RunResult result;
  const auto start = std::chrono::steady_clock::now();
  {
    TestSupport::ChildProcess probe(QP_RSS_PROBE_PATH, words, env, outPath, errPath);
    if (const auto status = probe.Wait(limit)) {
      result.status = *status;
    } else {
      ADD_FAILURE() << "the check did not end within " << limit.count() << " s";
      // The program dies with its probe (the object's end kills and reaps it).
    }
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string peak = ReadAll(rssPath);
  if (!peak.empty()) result.peakKb = std::stol(peak);
  result.out = ReadAll(outPath);
  result.err = ReadAll(errPath);
  return result;
}

// What the headless program writes for a box, for runs in this process.
std::string AsStandardError(const std::vector<TestSupport::ShownBox>& boxes) {
  std::string err;
  for (const auto& box : boxes) err += box.title + "\n" + box.text + "\n";
  for (std::size_t at; (at = err.find("\r\n")) != std::string::npos;) err.erase(at, 1);
  return err;
}

bool IsValidUtf8(const std::string& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0, n = text.size(); i < n;) {
    const unsigned char c = s[i];
    std::size_t len = c < 0x80         ? 1
                      : (c >> 5) == 6  ? 2
                      : (c >> 4) == 14 ? 3
                      : (c >> 3) == 30 ? 4
                                       : 0;
    if (len == 0 || i + len > n) return false;
    for (std::size_t k = 1; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  out.reserve(text.size() * static_cast<std::size_t>(times));
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string Channel(const std::string& items) {
  return "<rss version=\"2.0\"><channel><title>c</title>" + items + "</channel></rss>";
}

// One source's inbox after the run.
struct Inbox {
  std::string bytes;
  IniDocument doc;
  std::vector<std::string> Guids() const { return doc.SectionNames(); }
  std::string Value(const std::string& guid, const std::string& key) const {
    return doc.GetValue(guid, key).value_or("<missing>");
  }
};

struct Context {
  FeedServer& server;
  std::string folder;  // a folder outside the data folder, for files the feed points at
};

struct HostileCase {
  const char* name;
  // Sets the route "/hostile" (and any other the feed refers to).
  std::function<void(Context&)> serve;
  // Messages the hostile source stores; 0 means its check fails with the empty-answer box.
  int newMessages;
  // Further checks of the hostile source's inbox after the run.
  std::function<void(const Inbox&, Context&)> check;
  // A second check must find every stored guid again and store nothing.
  bool checkAgain = false;
  // Run in this process with a short transfer time-out (the program's own is 60 s).
  bool shortTimeout = false;
};

const std::string kSecret = "SECRET-CONTENT-7f3a";

const std::vector<HostileCase>& Cases() {
  static const std::vector<HostileCase> cases = {
      {.name = "BillionLaughs",
       .serve =
           [](Context& c) {
             std::string dtd = "<!DOCTYPE rss [<!ENTITY lol \"lol\">";
             for (int i = 1; i <= 9; ++i) {
               const std::string prev = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
               dtd += "<!ENTITY lol" + std::to_string(i) + " \"" + Repeat("&" + prev + ";", 10) +
                      "\">";
             }
             c.server.Serve("/hostile", QByteArray::fromStdString(
                                            "<?xml version=\"1.0\"?>" + dtd + "]>" +
                                            Channel("<item><title>&lol9;</title><description>"
                                                    "&lol9;&lol9;</description><guid>laughs</guid>"
                                                    "</item>")));
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context&) {
             EXPECT_EQ(inbox.Value("laughs", "title"), "&lol9;");
             EXPECT_EQ(inbox.Value("laughs", "description"), "&lol9;&lol9;");
             EXPECT_LT(inbox.bytes.size(), 4096u);
           },
       .checkAgain = true},

      {.name = "ExternalEntities",
       .serve =
           [](Context& c) {
             TestSupport::WriteAll(c.folder + "/secret.txt", kSecret);
             TestSupport::WriteAll(c.folder + "/evil.dtd",
                                   "<!ENTITY leak SYSTEM \"file://" + c.folder + "/secret.txt\">");
             const std::string local = "file://" + c.folder;
             const std::string remote = c.server.Url("/evil.dtd");
             c.server.Serve("/evil.dtd",
                            QByteArray::fromStdString("<!ENTITY leak \"" + kSecret + "\">"),
                            "application/xml-dtd");
             c.server.Serve(
                 "/hostile",
                 QByteArray::fromStdString(
                     "<?xml version=\"1.0\"?><!DOCTYPE rss SYSTEM \"" + remote +
                     "\" [<!ENTITY x SYSTEM \"" + local + "/secret.txt\"><!ENTITY % d SYSTEM \"" +
                     local + "/evil.dtd\">%d;<!ENTITY y SYSTEM \"" + c.server.Url("/evil.dtd") +
                     "\">]>" +
                     Channel("<item><title>&x;</title><description>&y;|&leak;</description>"
                             "<guid>xxe-&x;</guid></item>")));
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context& c) {
             EXPECT_EQ(inbox.Guids().back(), "xxe-&x;");
             EXPECT_EQ(inbox.Value("xxe-&x;", "title"), "&x;");
             EXPECT_EQ(inbox.Value("xxe-&x;", "description"), "&y;|&leak;");
             // Neither the file nor the server's DTD was read: nothing in the data folder holds it.
             for (const auto& entry :
                  std::filesystem::recursive_directory_iterator(mAppFunctions::DataPath)) {
               if (entry.is_regular_file()) {
                 EXPECT_EQ(ReadAll(entry.path().string()).find(kSecret), std::string::npos)
                     << entry.path();
               }
             }
             for (const auto& request : c.server.Requests()) {
               EXPECT_FALSE(request.target.startsWith("/evil")) << request.target.toStdString();
             }
           },
       .checkAgain = true},

      {.name = "EndlessBody",
       .serve =
           [](Context& c) {
             FeedRoute endless;
             endless.endless = true;
             c.server.SetRoute("/hostile", endless);
           },
       .newMessages = 0,
       .check = {}},

      {.name = "GzipBomb",
       .serve =
           [](Context& c) {
             FeedRoute bomb;
             bomb.gzip = true;
             bomb.body = FeedServer::GzipOfZeros(std::int64_t{256} << 20);
             c.server.SetRoute("/hostile", bomb);
           },
       .newMessages = 0,
       .check = {}},

      {.name = "DripOneByteASecond",
       .serve =
           [](Context& c) {
             FeedRoute drip;
             drip.body = QByteArray::fromStdString(FeedWithItems({"never"}));
             drip.dripBytes = 1;
             drip.dripIntervalMs = 1000;
             c.server.SetRoute("/hostile", drip);
           },
       .newMessages = 0,
       .check = {},
       .shortTimeout = true},

      {.name = "RedirectLoop",
       .serve = [](Context& c) { c.server.SetRedirectLoop("/hostile"); },
       .newMessages = 0,
       .check = {}},

      {.name = "InvalidUtf8",
       .serve =
           [](Context& c) {
             c.server.Serve(
                 "/hostile",
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>" +
                     QByteArray::fromStdString(
                         Channel("<item><title>a\xC3(b \xC0\xAF \xED\xA0\x80</title><description>"
                                 "\xFF\xFE\x80 x</description><guid>bad-\xFF-guid</guid></item>")),
                 "application/rss+xml; charset=utf-8");
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context&) {
             EXPECT_TRUE(IsValidUtf8(inbox.bytes));
             const std::string guid = "bad-\uFFFD-guid";
             EXPECT_EQ(inbox.Guids().back(), guid);
             EXPECT_EQ(inbox.Value(guid, "title"), "a\uFFFD(b \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD");
             EXPECT_EQ(inbox.Value(guid, "description"), "\uFFFD\uFFFD\uFFFD x");
           },
       .checkAgain = true},

      {.name = "NulBytes",
       .serve =
           [](Context& c) {
             const std::string items =
                 "<item><title>ti\0tle</title>\0<description>d\0\0</description><guid>nul\0guid"
                 "</guid></item>"s;
             c.server.Serve("/hostile", QByteArray::fromStdString(Channel(items)));
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context&) {
             EXPECT_EQ(inbox.bytes.find('\0'), std::string::npos);
             const std::string guid = "nul\uFFFDguid";
             EXPECT_EQ(inbox.Guids().back(), guid);
             EXPECT_EQ(inbox.Value(guid, "title"), "ti\uFFFDtle");
             EXPECT_EQ(inbox.Value(guid, "description"), "d\uFFFD\uFFFD");
           },
       .checkAgain = true},

      {.name = "HundredThousandNestedElements",
       .serve =
           [](Context& c) {
             constexpr int kDepth = 100'000;
             const std::string item = "<item><title>deep</title><description>" +
                                      Repeat("<b>", kDepth) + "deep text" + Repeat("</b>", kDepth) +
                                      "</description><guid>deep</guid></item>";
             c.server.Serve("/hostile",
                            QByteArray::fromStdString(
                                Channel(Repeat("<a>", kDepth) + Repeat("</a>", kDepth) + item)));
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context&) {
             EXPECT_EQ(inbox.Guids().back(), "deep");
             EXPECT_EQ(inbox.Value("deep", "description"), "deep text");
           },
       .checkAgain = true},

      {.name = "ManyItems",
       .serve =
           [](Context& c) {
             std::vector<std::string> guids;
             for (int i = 0; i < kManyItems; ++i) guids.push_back("i" + std::to_string(i));
             c.server.Serve("/hostile", QByteArray::fromStdString(FeedWithItems(guids)));
           },
       .newMessages = kManyItems,
       .check =
           [](const Inbox& inbox, Context&) {
             const auto guids = inbox.Guids();
             const std::string last = "i" + std::to_string(kManyItems - 1);
             EXPECT_EQ(guids[1], "i0");
             EXPECT_EQ(guids.back(), last);
             EXPECT_EQ(inbox.Value(last, "title"), "T " + last);
           }},

      {.name = "MegabyteGuid",
       .serve =
           [](Context& c) {
             const std::string guid = "g" + std::string(std::size_t{1} << 20, 'x');
             c.server.Serve("/hostile", QByteArray::fromStdString(FeedWithItems({guid, "after"})));
           },
       .newMessages = 2,
       .check =
           [](const Inbox& inbox, Context&) {
             const auto guids = inbox.Guids();
             ASSERT_EQ(guids.size(), 3u);
             EXPECT_EQ(guids[1], "g" + std::string(std::size_t{1} << 20, 'x'));
             EXPECT_EQ(guids[2], "after");
             EXPECT_EQ(inbox.Value("after", "title"), "T after");
           },
       .checkAgain = true},

      {.name = "ScriptInDescription",
       .serve =
           [](Context& c) {
             c.server.Serve("/hostile",
                            QByteArray::fromStdString(
                                Channel("<item><title>&lt;script&gt;alert(0)&lt;/script&gt;</title>"
                                        "<description><![CDATA[<script>alert(1)</script>"
                                        "<img src=\"x\" onload=\"alert(2)\">]]></description>"
                                        "<guid>script</guid></item>")));
           },
       .newMessages = 1,
       .check =
           [](const Inbox& inbox, Context&) {
             EXPECT_EQ(inbox.Value("script", "title"), "<script>alert(0)</script>");
             EXPECT_EQ(inbox.Value("script", "description"),
                       "<script>alert(1)</script><img src=\"x\" onload=\"alert(2)\">");
           },
       .checkAgain = true},
  };
  return cases;
}

class HostileFeed : public ::testing::TestWithParam<HostileCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listen());
    std::filesystem::create_directory(platform.root + "/runtime");
    std::filesystem::create_directory(platform.root + "/outside");
    mAppFunctions::InitializeDataFolder();
    ASSERT_TRUE(mSubscriptions::AddSource("Hostile", server.Url("/hostile")));
    ASSERT_TRUE(mSubscriptions::AddSource("Good", server.Url("/good")));
    std::vector<mSubscriptions::MessageSource> sources;
    ASSERT_TRUE(mSubscriptions::ReadSources(sources));
    ASSERT_EQ(sources.size(), 2u);
    hostileID = sources[0].ID;
    goodID = sources[1].ID;

    // Both sources already hold messages.
    Store(hostileID, FeedWithItems({"h0"}));
    Store(goodID, FeedWithItems({"g1", "g2"}));
    hostileBefore = ReadAll(InboxPath(hostileID));
    goodBefore = ReadAll(InboxPath(goodID));
    server.Serve("/good", QByteArray::fromStdString(FeedWithItems({"g1", "g2", "g3"})));
  }

  void Store(const std::string& id, const std::string& feed) {
    mInbox::SourceID = id;
    ASSERT_TRUE(mInbox::ParseFeed(feed, "x"));
    mInbox::RunSummary.clear();
  }

  std::string InboxPath(const std::string& id) {
    mInbox::SourceID = id;
    return mInbox::InboxPath();
  }

  Inbox Load(const std::string& id) {
    Inbox inbox;
    inbox.bytes = ReadAll(InboxPath(id));
    inbox.doc = IniDocument::Parse(inbox.bytes);
    return inbox;
  }

  RunResult Check(bool shortTimeout) {
    if (shortTimeout && !std::getenv("QP_HOSTILE_FULL_TIMEOUT")) return CheckHere();
    return RunProgram({"--check"},
                      {"XDG_DATA_HOME=" + platform.environment.appData,
                       "XDG_RUNTIME_DIR=" + platform.root + "/runtime", "DISPLAY=",
                       "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "QUILLPOST_MESSAGE_LOG="},
                      platform.root, shortTimeout ? 150s : 90s);
  }

  // The same check path as `quillpost --check`, with a 1.5 s transfer time-out.
  RunResult CheckHere() {
    HttpService::Limits limits;
    limits.timeoutMs = 1500;
    HttpService quick(limits);
    Services::Current().http = &quick;
    platform.messageBox.shown.clear();
    std::ostringstream out;
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    result.status = HeadlessCheck::Run(out);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Services::Current().http = &platform.http;
    result.out = out.str();
    result.err = AsStandardError(platform.messageBox.shown);
    return result;
  }

  FakePlatform platform;
  FeedServer server{FeedServer::Threading::Own};
  std::string hostileID, goodID, hostileBefore, goodBefore;
};

std::string Summary(int hostile, int good) {
  std::string text;
  if (hostile > 0)
    text += "You have " + std::to_string(hostile) + " New Messages \n in Hostile account.\n\n";
  if (good > 0)
    text += "You have " + std::to_string(good) + " New Messages \n in Good account.\n\n";
  return text;
}

// One line per row for bench/hostile_rss.sh: how the run ended, what the hostile source stored,
// and the program's peak memory.
void Report(const char* name, const RunResult& run, std::size_t stored) {
  const std::string box = run.err.substr(0, run.err.find('\n'));
  const std::string outcome = "exit " + std::to_string(run.status) + ", " +
                              (box.empty() ? "no box" : "box \"" + box + "\"") + ", stored " +
                              std::to_string(stored);
  if (run.peakKb >= 0) {
    std::printf("hostile-rss %-30s %-40s peak RSS %7.1f MB  %6.2f s\n", name, outcome.c_str(),
                run.peakKb / 1024.0, run.seconds);
  } else {
    std::printf("hostile-rss %-30s %-40s (in process)      %6.2f s\n", name, outcome.c_str(),
                run.seconds);
  }
  std::fflush(stdout);
}

}  // namespace

TEST_P(HostileFeed, EndsSafelyStoresOnlyWhatItShouldAndKeepsTheRest) {
  const HostileCase& row = GetParam();
  Context context{server, platform.root + "/outside"};
  row.serve(context);

  const RunResult run = Check(row.shortTimeout);
  const bool fails = row.newMessages == 0;
  EXPECT_EQ(run.status, fails ? 1 : 0) << run.err;
  EXPECT_EQ(run.err, fails ? kEmptyAnswerBox : "");
  EXPECT_EQ(run.out, Summary(row.newMessages, 1));
  if (!row.shortTimeout) {
    EXPECT_GE(run.peakKb, 0) << "no peak memory measured";
  }
  if (run.peakKb >= 0) {
    EXPECT_LT(run.peakKb / 1024, kPeakBoundMb);
  }

  // The good source after the hostile one: advanced by its new message, its old bytes kept.
  const Inbox good = Load(goodID);
  EXPECT_EQ(good.Guids(), (std::vector<std::string>{"g1", "g2", "g3"}));
  EXPECT_EQ(good.bytes.substr(0, goodBefore.size()), goodBefore);

  const Inbox hostile = Load(hostileID);
  const auto hostileGuids = hostile.Guids();
  Report(row.name, run,
         static_cast<std::size_t>(std::count_if(hostileGuids.begin(), hostileGuids.end(),
                                                [](const std::string& g) { return g != "h0"; })));
  if (fails) {
    EXPECT_EQ(hostile.bytes, hostileBefore);
  } else {
    EXPECT_EQ(hostile.bytes.substr(0, hostileBefore.size()), hostileBefore);
    ASSERT_EQ(hostileGuids.size(), static_cast<std::size_t>(row.newMessages) + 1);
    EXPECT_EQ(hostileGuids.front(), "h0");
  }
  if (row.check) row.check(hostile, context);

  if (row.checkAgain) {
    const std::string after = hostile.bytes;
    const RunResult again = Check(row.shortTimeout);
    EXPECT_EQ(again.status, fails ? 1 : 0) << again.err;
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(ReadAll(InboxPath(hostileID)), after);
  }
}

INSTANTIATE_TEST_SUITE_P(Feeds, HostileFeed, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                           return std::string(info.param.name);
                         });
