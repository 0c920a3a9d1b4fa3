// Hostile feeds against the whole check run: one source serves a hostile feed, a second, good
// one already holds messages. Each row runs `quillpost --check` as cron would and checks its exit
// status and boxes, that the good source advanced and the hostile one stored only what it should,
// nothing stored before was lost and nothing the feed names was fetched. The program's peak memory
// (from qp_rss_probe) is held under a generous bound and printed for bench/hostile_rss.sh.
// The dripping server needs a time-out far below the program's 60 s: that row runs the same check
// in this process with a 1.5 s transfer limit, unless QP_HOSTILE_FULL_TIMEOUT=1.

#include "TestPaths.h"
#include "config/IniDocument.h"
#include "core/Utf8.h"
#include "core/mAppFunctions.h"
#include "entry/HeadlessCheck.h"
#include "feedserver/FeedServer.h"
#include "retrieval/HttpService.h"
#include "support/DataFolder.h"

#include <QProcess>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

// Routes are written with designated initializers; the fields they leave out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace fs = std::filesystem;
using TestData::FeedWithItems;
using TestSupport::FeedRoute;
using TestSupport::FeedServer;
using TestSupport::ReadAll;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;  // its shadow memory counts in the resident set
#else
constexpr bool kSanitized = false;
#endif
constexpr long kPeakBoundMb = kSanitized ? 2048 : 512;
// The body cap lets about 200,000 items through; a sanitized build shows the same faults with
// a quarter of them in a quarter of the time.
constexpr int kManyItems = kSanitized ? 50'000 : 200'000;
const std::string kBigGuid = "g" + std::string(std::size_t{1} << 20, 'x');

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string ManyItems() {
  std::vector<std::string> guids;
  for (int i = 0; i < kManyItems; ++i) guids.push_back("i" + std::to_string(i));
  return FeedWithItems(guids);
}

// A feed from tests/fixtures/feeds, or one made here when it is too large to keep there.
FeedRoute Feed(const std::string& fixture, std::string body = {}) {
  if (!fixture.empty()) body = ReadAll(QP_FIXTURES_DIR "/feeds/hostile_" + fixture + ".xml");
  return {.body = QByteArray::fromStdString(body)};
}

struct HostileCase {
  const char* name;
  FeedRoute route;  // what "/hostile" answers
  // Messages the hostile source stores; 0: its check fails with the empty-answer box.
  int newMessages = 0;
  std::array<std::string, 3> last = {};  // guid, title and description of the last one stored
  // Run in this process with a short transfer time-out (the program's own is 60 s).
  bool shortTimeout = false;
};

const std::string kLast = "i" + std::to_string(kManyItems - 1);
const std::string kNested = "<rss><channel>" + Repeat("<a>", 100'000) + Repeat("</a>", 100'000) +
                            "<item><title>deep</title><description>" + Repeat("<b>", 100'000) +
                            "deep text" + Repeat("</b>", 100'000) +
                            "</description><guid>deep</guid></item></channel></rss>";
const std::string kBigGuidFeed = FeedWithItems({"before", kBigGuid});
const QByteArray kNever = QByteArray::fromStdString(FeedWithItems({"never"}));

const std::vector<HostileCase> kCases = {
    // DTD entities are never expanded, external ones never fetched.
    {"BillionLaughs", Feed("billion_laughs"), 1, {"laughs", "&lol9;", "&lol9;&lol9;"}},
    {"ExternalEntities", Feed("external_entities"), 1, {"xxe-&x;", "&x;", "&y;|&leak;"}},
    {"EndlessBody", {.endless = true}},
    {"GzipBomb", {.body = FeedServer::GzipOfZeros(std::int64_t{256} << 20), .gzip = true}},
    {"DripOneByteASecond", {.body = kNever, .dripBytes = 1, .dripIntervalMs = 1000}, 0, {}, true},
    {"RedirectLoop", {.status = 302, .headers = {{"Location", "/hostile"}}}},
    {"InvalidUtf8",
     Feed("invalid_utf8"),
     1,
     {"bad-\uFFFD-guid", "a\uFFFD(b \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD", "\uFFFD\uFFFD\uFFFD x"}},
    {"NulBytes", Feed("nul_bytes"), 1, {"nul\uFFFDguid", "ti\uFFFDtle", "d\uFFFD\uFFFD"}},
    {"HundredThousandNestedElements", Feed("", kNested), 1, {"deep", "deep", "deep text"}},
    {"ManyItems", Feed("", ManyItems()), kManyItems, {kLast, "T " + kLast, "D " + kLast}},
    {"MegabyteGuid", Feed("", kBigGuidFeed), 2, {kBigGuid, "T " + kBigGuid, "D " + kBigGuid}},
    // Stored as sent: message pages never run scripts.
    {"ScriptInDescription",
     Feed("script_in_description"),
     1,
     {"script", "<script>alert(0)</script>",
      "<script>alert(1)</script><img src=\"x\" onload=\"alert(2)\">"}},
};

// Why a failing row's transfer failed, as the box's last line names it.
std::string Reason(const std::string& row) {
  if (row == "RedirectLoop") return "too many redirects (more than 10)";
  if (row == "GzipBomb") return "Decompression failed";  // Qt's own check comes first
  if (row != "DripOneByteASecond") return "answer larger than 32 MiB";
  return std::getenv("QP_HOSTILE_FULL_TIMEOUT") ? "timed out after 60 s"
                                                : "timed out after 1500 ms";
}

struct RunResult {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out, err;
  long peakKb = -1;  // -1 for a run in this process
};

class HostileFeed : public TestData::DataFolderTest,
                    public ::testing::WithParamInterface<HostileCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(server.Listen(), true);
    fs::create_directory(platform.root + "/runtime");
    server.Serve("/evil.dtd", "<!ENTITY leak \"SECRET\">");
    server.Serve("/good", QByteArray::fromStdString(FeedWithItems({"g1", "g2", "g3"})));
    FeedRoute route = GetParam().route;
    route.body.replace("{server}", QByteArray::fromStdString(server.Url("")));
    server.SetRoute("/hostile", route);
    // Both sources already hold messages.
    hostileID = AddSource("Hostile", server.Url("/hostile"), {{"h0", "T h0"}});
    goodID = AddSource("Good", server.Url("/good"), {{"g1", "T g1"}, {"g2", "T g2"}});
    hostileBefore = InboxBytes(hostileID);
    goodBefore = InboxBytes(goodID);
  }

  RunResult Check() {
    RunResult result;
    if (GetParam().shortTimeout && !std::getenv("QP_HOSTILE_FULL_TIMEOUT")) {
      // The same check as `quillpost --check`, with a short transfer limit.
      HttpService::Limits limits;
      limits.timeoutMs = 1500;
      HttpService quick(limits);
      Services::Current().http = &quick;
      std::ostringstream out;
      result.status = HeadlessCheck::Run(out);
      Services::Current().http = &platform.http;
      result.out = out.str();
      for (const auto& box : platform.messageBox.shown)
        result.err += box.title + "\n" + box.text + "\n";
      std::erase(result.err, '\r');  // as the program's standard error has it
      return result;
    }
    const std::string peak = platform.root + "/peak.txt", out = platform.root + "/out.txt",
                      err = platform.root + "/err.txt";
    fs::remove(peak);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString(platform.environment.appData));
    env.insert("XDG_CACHE_HOME", QString::fromStdString(platform.environment.cacheFolder));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(platform.root + "/runtime"));
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUILLPOST_MESSAGE_LOG"})
      env.remove(name);
    probe.setProcessEnvironment(env);
    probe.setStandardOutputFile(QString::fromStdString(out));
    probe.setStandardErrorFile(QString::fromStdString(err));
    probe.start(QP_RSS_PROBE_PATH, {QString::fromStdString(peak), QP_PROGRAM_PATH, "--check"});
    // A run that outlives the limit dies with its probe.
    if (probe.waitForFinished(90'000) && probe.exitStatus() == QProcess::NormalExit) {
      result.status = probe.exitCode();
    } else {
      probe.kill();
      probe.waitForFinished();
      result.status = -1;
    }
    const std::string peakText = ReadAll(peak);
    EXPECT_NE(peakText, "") << "no peak memory measured";
    result.peakKb = peakText.empty() ? -1 : std::stol(peakText);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
  }

  FeedServer server{FeedServer::Threading::Own};
  std::string hostileID, goodID, hostileBefore, goodBefore;
};

}  // namespace

TEST_P(HostileFeed, EndsSafelyStoresOnlyWhatItShouldAndKeepsTheRest) {
  const HostileCase& row = GetParam();
  const bool fails = row.newMessages == 0;
  // A second check must find every stored guid again and store nothing.
  for (int round = 1; round <= (fails ? 1 : 2); ++round) {
    SCOPED_TRACE("check " + std::to_string(round));
    const auto start = std::chrono::steady_clock::now();
    const RunResult run = Check();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.status, fails ? 1 : 0) << run.err;
    EXPECT_EQ(run.err, fails ? "Error!\nProcess of checking for new Messages failed! Server "
                               "returned empty Data stream.\nHostile: " +
                                   Reason(row.name) + "\n"
                             : "");
    const std::string hostileSummary = fails ? ""
                                             : "You have " + std::to_string(row.newMessages) +
                                                   " New Messages \n in Hostile account.\n\n";
    EXPECT_EQ(run.out,
              round == 2 ? "" : hostileSummary + "You have 1 New Messages \n in Good account.\n\n");
    EXPECT_LT(run.peakKb / 1024, kPeakBoundMb);

    // The good source after the hostile one: advanced by its new message, its old bytes kept.
    const std::string goodBytes = InboxBytes(goodID), bytes = InboxBytes(hostileID);
    EXPECT_EQ(IniDocument::Parse(goodBytes).SectionNames(),
              (std::vector<std::string>{"g1", "g2", "g3"}));
    EXPECT_EQ(goodBytes.substr(0, goodBefore.size()), goodBefore);
    const IniDocument hostile = IniDocument::Parse(bytes);
    const std::vector<std::string> guids = hostile.SectionNames();
    if (round == 1) {  // for bench/hostile_rss.sh
      std::printf("hostile-rss %-30s exit %d, %-14s stored %-7zu %-18s %6.2f s\n", row.name,
                  run.status, fails ? "box \"Error!\"," : "no box,", guids.size() - 1,
                  run.peakKb < 0
                      ? "(in process)"
                      : ("peak RSS " + std::to_string(run.peakKb / 1024) + " MB").c_str(),
                  seconds.count());
      std::fflush(stdout);
    }
    EXPECT_EQ(fails ? bytes : bytes.substr(0, hostileBefore.size()), hostileBefore);
    EXPECT_EQ(guids.size(), row.newMessages + 1u);
    EXPECT_EQ(guids.front(), "h0");
    if (!fails) {
      EXPECT_EQ((std::array<std::string, 3>{guids.back(), *hostile.GetValue(guids.back(), "title"),
                                            *hostile.GetValue(guids.back(), "description")}),
                row.last);
    }
    EXPECT_EQ(Utf8::FirstInvalid(bytes), std::string::npos);
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
    // No document the feed names was fetched.
    for (const auto& request : server.Requests()) EXPECT_NE(request.target, "/evil.dtd");
  }
}

namespace {
// A failing row reads as its name, not as a dump of its bytes.
void PrintTo(const HostileCase& row, std::ostream* out) { *out << row.name; }
}  // namespace

INSTANTIATE_TEST_SUITE_P(Feeds, HostileFeed, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
