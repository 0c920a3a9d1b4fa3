// The inbox store and the feed parser on an inbox of 10,000 messages with descriptions of about
// 4 KB (about 40 MB), built once into a temporary data folder: a 100-item feed that is all new,
// the same feed when nothing is new, and loading the inbox into a tree (also one shown by the
// Qt model, when the Qt parts are built).

#include "config/IniDocument.h"
#include "core/PosixServices.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#ifdef QP_BENCH_TREE_MODEL
#include "core/TreeModel.h"

#include <QApplication>
#include <QTreeView>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kMessages = 10000;
constexpr int kFeedItems = 100;
const std::string kSourceID = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

class BenchClock : public Services::IClock {
 public:
  void Sleep(int) override {}
  void ProcessEvents() override {
#ifdef QP_BENCH_TREE_MODEL
    QCoreApplication::processEvents();
#endif
  }
};

class BenchMessageBox : public Services::IMessageBox {
 public:
  int Show(const std::string&, const std::string&, int) override { return Services::vbOK; }
};

std::string Guid(const char* kind, int i) {
  char text[64];
  std::snprintf(text, sizeof text, "https://letters.example/%s/%08x-%06d", kind,
                static_cast<unsigned>(i * 2654435761u), i);
  return text;
}

std::string Description() {
  std::string text;
  for (int i = 0; text.size() < 4000; ++i) {
    text += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit (no. ";
    text += std::to_string(i) + ").</p>";
  }
  return text;
}

std::string Date(int i) {
  return "Sat, " + std::to_string(1 + i % 28) + " " + kMonths[i / 28 % 12] + " " +
         std::to_string(2010 + i / 336);
}

// The data folder with one source whose inbox holds kMessages messages, and a saved copy of that
// inbox to restore between runs that add to it.
class Fixture {
 public:
  Fixture() {
    std::mt19937_64 random{std::random_device{}()};
    m_root = (fs::temp_directory_path() / ("qp-inbox-bench-" + std::to_string(random()))).string();
    fs::create_directories(m_root + "/" + kSourceID);
    Install();
    IniDocument doc;
    const std::string description = Description();
    for (int i = 0; i < kMessages; ++i) {
      const std::string guid = Guid("stored", i);
      doc.SetValue(guid, "title", "Weekly letter number " + std::to_string(i));
      doc.SetValue(guid, "description", description);
      doc.SetValue(guid, "date", Date(i));
      doc.SetValue(guid, "time", "09:18:46");
      doc.SetValue(guid, "offset", "GMT");
      doc.SetValue(guid, "read", i % 3 == 0 ? "1" : "0");
    }
    doc.Save(mInbox::InboxPath());
    fs::copy_file(mInbox::InboxPath(), m_root + "/inbox.saved");
    m_newFeed = Feed("new");
    m_knownFeed = Feed("stored");
  }
  ~Fixture() {
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }

  // The program-wide state a run needs; another benchmark may have changed it.
  void Install() {
    auto& services = Services::Current();
    services.clock = &m_clock;
    services.messageBox = &m_messageBox;
    services.diskSync = nullptr;
    mAppFunctions::DataPath = m_root;
    mInbox::SourceID = kSourceID;
  }
  void SyncWrites(bool sync) { Services::Current().diskSync = sync ? &m_sync : nullptr; }

  void RestoreInbox() {
    fs::copy_file(m_root + "/inbox.saved", mInbox::InboxPath(),
                  fs::copy_options::overwrite_existing);
  }
  const std::string& NewFeed() const { return m_newFeed; }
  const std::string& KnownFeed() const { return m_knownFeed; }

 private:
  // kFeedItems items; "stored" items are the inbox's last ones.
  static std::string Feed(const char* kind) {
    const std::string description = Description();
    std::string feed =
        "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Bench</title>\n";
    for (int i = 0; i < kFeedItems; ++i) {
      const int n = kMessages - kFeedItems + i;
      feed += "<item><title>Letter " + std::to_string(n) + "</title><description><![CDATA[" +
              description + "\n]]></description><pubDate>" + Date(n) +
              " 09:18:46 GMT</pubDate><guid>" + Guid(kind, n) + "</guid></item>\n";
    }
    return feed + "</channel></rss>\n";
  }

  std::string m_root;
  std::string m_newFeed;
  std::string m_knownFeed;
  BenchClock m_clock;
  BenchMessageBox m_messageBox;
  PosixServices::DiskSync m_sync;
};

Fixture& Shared() {
  static Fixture fixture;
  fixture.Install();
  return fixture;
}

void ParseFeedAllNew(benchmark::State& state, bool sync) {
  Fixture& fixture = Shared();
  fixture.SyncWrites(sync);
  for (auto _ : state) {
    state.PauseTiming();
    fixture.RestoreInbox();
    state.ResumeTiming();
    mInbox::ParseFeed(fixture.NewFeed(), "Bench");
    if (mInbox::NewMessageCount != kFeedItems) state.SkipWithError("items not stored");
  }
  fixture.SyncWrites(false);
  fixture.RestoreInbox();
}

void ParseFeedAllNew(benchmark::State& state) { ParseFeedAllNew(state, false); }
void ParseFeedAllNewSynced(benchmark::State& state) { ParseFeedAllNew(state, true); }

void ParseFeedNothingNew(benchmark::State& state) {
  Fixture& fixture = Shared();
  for (auto _ : state) {
    mInbox::ParseFeed(fixture.KnownFeed(), "Bench");
    if (mInbox::NewMessageCount != 0) state.SkipWithError("known items stored again");
  }
}

void LoadInboxIntoTree(benchmark::State& state, TreeControl& tree) {
  TreeControl::Node* source = tree.Add(kSourceID, "Bench", MessageTreeImage::Source);
  source->SetExpanded(true);
  tree.SetSorted(true);
  for (auto _ : state) {
    mInbox::LoadInbox(tree);
    if (tree.Count() != kMessages + 1) state.SkipWithError("messages missing");
  }
}

void LoadInboxTreeControl(benchmark::State& state) {
  Shared();
  TreeControl tree("tvMessages");
  LoadInboxIntoTree(state, tree);
}

#ifdef QP_BENCH_TREE_MODEL
void LoadInboxTreeModel(benchmark::State& state) {
  Shared();
  TreeControl tree("tvMessages");
  TreeModel model(tree);
  QTreeView view;
  model.AttachView(&view);
  view.resize(400, 600);
  view.show();
  QCoreApplication::processEvents();
  LoadInboxIntoTree(state, tree);
}
#endif

}  // namespace

BENCHMARK(ParseFeedAllNew)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseFeedAllNewSynced)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseFeedNothingNew)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadInboxTreeControl)->Unit(benchmark::kMillisecond);
#ifdef QP_BENCH_TREE_MODEL
BENCHMARK(LoadInboxTreeModel)->Unit(benchmark::kMillisecond);
#endif

int main(int argc, char** argv) {
#ifdef QP_BENCH_TREE_MODEL
  // A view that is shown and painted, without needing a display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
