// qp_archive_bench [--index FILE] [--program PATH] [--baseline PATH] [--reuse] [--runs N]
//                  [--only PARTS] DATA_FOLDER
// The search index over a data folder qp_make_archive wrote (its known words are asked for),
// timed, the figures printed, never judged. PARTS, comma-separated (default all):
//   build      a first index of every source (the index file is removed first unless --reuse),
//              then a start on the unchanged archive: the time to know every source current,
//              the messages indexed (0 is right), and SetSources with the list it holds
//   queries    a word with about one match in a thousand messages, the first page of a word every
//              message has, a phrase with a source and an unread filter, ... (medians of N runs)
//   typing     a one-word query as it is typed, a key every 120 ms, each key's query asked on the
//              index's query thread as the search list asks it: from the key to the first page
//              with its snippets (median and 95th percentile of every key of N runs)
//   check      storing 5,000 new messages into 50 sources the way a check stores a feed, with the
//              index kept current and without it, alternating (medians of N runs each); this
//              adds messages to the data folder
//   process    with --program: the whole `PROGRAM --search quillion`, `PROGRAM --version` (the
//              floor of any command) and `grep -rilF quillion DATA_FOLDER`, alternating, page
//              cache warm (medians of N runs each); with --baseline another build's program in
//              the same rounds, with an index of its own ($XDG_CACHE_HOME/baseline)
// Without --index the index is the program's own for that data folder ($XDG_CACHE_HOME), which
// the process figure needs; DATA_FOLDER must then be $XDG_DATA_HOME/Quillpost Data.
// Each figure is a line "figure<TAB>value<TAB>unit".

#include "archive/InboxText.h"
#include "archive/SearchIndex.h"
#include "core/PosixServices.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "entry/SearchCommand.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxEvents.h"
#include "inbox/mInbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class QuietBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string& title, int) override {
    std::cerr << title << ": " << text << "\n";
    return Services::vbOK;
  }
};

class BenchClock : public Services::IClock {
 public:
  void Sleep(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void ProcessEvents() override {}
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

// A whole process, its output dropped, as a shell would start it but without the shell.
double TimedProcess(const std::vector<std::string>& command,
                    const std::vector<std::string>& environment = {}) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  for (const std::string& setting : environment) {
    const std::string name = setting.substr(0, setting.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    env.push_back(setting);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    std::cerr << "qp_archive_bench: cannot start " << command[0] << "\n";
    return 0;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double took = Seconds(Clock::now() - start);
  posix_spawn_file_actions_destroy(&actions);
  return took;
}

void Figure(const std::string& name, double value, const std::string& unit) {
  std::printf("%s\t%.3f\t%s\n", name.c_str(), value, unit.c_str());
  std::fflush(stdout);
}

double Timed(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return Seconds(Clock::now() - start);
}

std::uintmax_t FileSize(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

std::uintmax_t IndexSize(const std::string& file) {
  return FileSize(file) + FileSize(file + "-wal");
}

// A date in the archive's last days, its time spread over the day.
std::string PubDate(int n) {
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d Dec 2025 %02d:%02d:%02d GMT",
                (const char*[]){"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}[n % 7], 1 + n % 7,
                n / 7 % 24, n / 168 % 60, n / 10080 % 60);
  return text;
}

std::string FeedWith(const std::string& sourceTitle, int run, int source, int items) {
  std::string xml =
      "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>" + sourceTitle + "</title>\n";
  for (int i = 0; i < items; ++i) {
    // Another run of the benchmark on the same archive brings new messages again.
    static const std::string stamp = std::to_string(std::time(nullptr));
    const std::string n =
        stamp + "-" + std::to_string(run) + "-" + std::to_string(source) + "-" + std::to_string(i);
    xml += "<item><title>Bench issue " + n + "</title><guid>bench-" + n +
           "@news.quillpost.test</guid><pubDate>" + PubDate(run * 7919 + source * 104729 + i * 31) +
           "</pubDate><description>&lt;!-- header start: &lt;p&gt;From: &amp;quot;" + sourceTitle +
           " Desk&amp;quot;&lt;/p&gt;&lt;p&gt;Subject: Bench issue " + n +
           "&lt;/p&gt;header end --&gt;{letter}&lt;p&gt;the";
    for (int w = 0; w < 90; ++w) xml += " word" + std::to_string((w * 7919 + i) % 5000);
    xml += ".&lt;/p&gt;</description></item>\n";
  }
  return xml + "</channel></rss>\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string index, program, baseline, data, only;
  bool reuse = false;
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--index" && i + 1 < argc) {
      index = argv[++i];
    } else if (arg == "--program" && i + 1 < argc) {
      program = argv[++i];
    } else if (arg == "--baseline" && i + 1 < argc) {
      baseline = argv[++i];
    } else if (arg == "--only" && i + 1 < argc) {
      only = "," + std::string(argv[++i]) + ",";
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--reuse") {
      reuse = true;
    } else if (data.empty() && !arg.starts_with("--")) {
      data = arg;
    } else {
      std::cerr << "usage: qp_archive_bench [--index FILE] [--program PATH] [--baseline PATH] "
                   "[--reuse] [--runs N] [--only PARTS] DATA_FOLDER\n";
      return 2;
    }
  }
  if (data.empty() || !fs::is_directory(data)) {
    std::cerr << "qp_archive_bench: no data folder " << data << "\n";
    return 2;
  }
  PosixServices::Environment environment;
  QuietBox box;
  BenchClock clock;
  Services::Current().environment = &environment;
  Services::Current().messageBox = &box;
  Services::Current().clock = &clock;
  mAppFunctions::DataPath = fs::absolute(data).lexically_normal().string();
  while (mAppFunctions::DataPath.size() > 1 && mAppFunctions::DataPath.back() == '/')
    mAppFunctions::DataPath.pop_back();
  const bool ownIndex = index.empty();
  if (ownIndex) {
    mAppFunctions::PrepareCacheFolder();
    index = Archive::SearchIndex::DefaultFile();
  }
  const auto sources = SearchCommand::Sources();
  if (!sources || sources->empty()) {
    std::cerr << "qp_archive_bench: no sources in " << data << "\n";
    return 2;
  }
  std::uintmax_t inboxBytes = 0;
  for (const Archive::SourceRef& source : *sources)
    inboxBytes += FileSize(fs::path(mAppFunctions::DataPath) / source.id / "inbox.dat");
  Figure("sources", double(sources->size()), "");
  if (getenv("QP_PHASES")) {
    double read = 0, text = 0, digest = 0;
    std::size_t count = 0, bytes = 0;
    for (const Archive::SourceRef& source : *sources) {
      std::optional<std::vector<Archive::InboxText::FileMessage>> messages;
      read += Timed([&] {
        messages =
            Archive::InboxText::ReadInbox(mAppFunctions::DataPath + "/" + source.id + "/inbox.dat");
      });
      text += Timed([&] {
        for (const auto& m : *messages) bytes += Archive::InboxText::IndexedText(m.item).size();
      });
      digest += Timed([&] {
        for (const auto& m : *messages) count += Archive::InboxText::Digest(m.item) != 0;
      });
    }
    Figure("phase: read inboxes", read, "s");
    Figure("phase: indexed texts", text, "s");
    Figure("phase: digests", digest, "s");
    Figure("phase: text bytes per message", double(bytes) / double(count), "B");
    return 0;
  }
  Figure("inbox files", double(inboxBytes) / 1e6, "MB");
  const auto part = [&only](const char* name) {
    return only.empty() || only.find("," + std::string(name) + ",") != std::string::npos;
  };

  // A first index.
  if (!reuse && part("build")) {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(index + suffix, ec);
  }
  std::string error;
  auto search = Archive::SearchIndex::Open(index, error);
  if (!search) {
    std::cerr << "qp_archive_bench: " << error << "\n";
    return 1;
  }
  const double build = Timed([&] {
    search->SetSources(*sources);
    search->WaitUntilCurrent(std::chrono::hours(10));
  });
  if (part("build")) Figure(reuse ? "index brought up to date" : "first index build", build, "s");
  search.reset();  // the log goes into the file
  {
    // A start on the archive just indexed: every source is compared with its inbox file.
    std::vector<double> open, current, again;
    std::size_t indexed = 0;
    for (int run = 0; run < runs; ++run) {
      search.reset();
      open.push_back(Timed([&] { search = Archive::SearchIndex::Open(index, error); }));
      current.push_back(Timed([&] {
        search->SetSources(*sources);
        search->WaitUntilCurrent(std::chrono::hours(10));
      }));
      indexed += search->IndexedMessages();
      again.push_back(Timed([&] { search->SetSources(*sources); }));
    }
    if (part("build")) {
      Figure("start on the unchanged archive: open the index", Median(open) * 1000, "ms");
      Figure("start on the unchanged archive: every source known current", Median(current) * 1000,
             "ms");
      Figure("start on the unchanged archive: messages indexed (all runs)", double(indexed), "");
      Figure("SetSources with the list held", Median(again) * 1e6, "us");
      Figure("index size", double(IndexSize(index)) / 1e6, "MB");
      Figure("index size / inbox files", double(IndexSize(index)) / double(inboxBytes), "x");
    }
  }

  // Queries, page cache warm.
  struct Asked {
    const char* name;
    const char* query;
    bool all;  // every page, without snippets, as --search reads them
  };
  const Asked asked[] = {
      {"zebracorn, first page", "zebracorn", false},
      {"zebracorn, every match", "zebracorn", true},
      {"the (every message), first page", "the", false},
      {"phrase + source + unread", "\"Café Crème\" source:\"Letters 042\" is:unread", false},
      {"common word + source, first page", "the source:\"Letters 042\"", false},
      {"is:unread, first page", "is:unread", false},
      {"zebra* (prefix), first page", "zebra*", false},
      {"bread -the (exclusion), first page", "bread -the", false},
      {"after:2025-06-01 garden, first page", "after:2025-06-01 garden", false},
      {"vortexlink (only in link addresses: 0 is right)", "vortexlink", true},
      {"preheader (only in hidden text: 0 is right)", "preheader", true},
  };
  for (const Asked& a : asked) {
    if (!part("queries")) break;
    const Archive::Query query = Archive::ParseQuery(a.query);
    std::size_t hits = 0;
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
      const double t = Timed([&] {
        hits = 0;
        std::string from;
        do {
          Archive::Page page = search->Search(query, from, a.all ? 1000 : 50, !a.all);
          hits += page.hits.size();
          from = a.all ? page.next : std::string();
        } while (!from.empty());
      });
      if (run > 0) times.push_back(t);  // the first run warms the cache
    }
    Figure(std::string("query: ") + a.name + " (" + std::to_string(hits) + " hits)",
           Median(times) * 1000, "ms");
  }
  if (part("queries")) {
    std::vector<double> times;
    std::size_t unread = 0;
    const Archive::Query query = Archive::ParseQuery("zebracorn");
    for (int run = 0; run <= runs; ++run) {
      const double t = Timed([&] { unread = search->CountUnread(query); });
      if (run > 0) times.push_back(t);
    }
    Figure("unread count: zebracorn (" + std::to_string(unread) + ")", Median(times) * 1000, "ms");
  }

  // A one-word query as it is typed: each key asks the field's text on the query thread, as the
  // search list does, and the time runs from the key to the first page with its snippets.
  if (part("typing")) {
    for (const char* word : {"zebracorn", "garden", "the"}) {
      std::vector<double> keys, words;
      std::size_t hits = 0;
      for (int run = 0; run <= runs; ++run) {
        for (std::size_t typed = 1; typed <= std::string(word).size(); ++typed) {
          const Archive::Query query = Archive::ParseQuery(std::string(word, typed));
          std::promise<std::size_t> answered;
          std::future<std::size_t> answer = answered.get_future();
          const auto key = Clock::now();
          search->Ask(Archive::SearchIndex::Lane::Results,
                      [&answered, query](Archive::SearchIndex& index) {
                        answered.set_value(index.Search(query, {}, 50).hits.size());
                      });
          hits = answer.get();
          if (run > 0) keys.push_back(Seconds(Clock::now() - key));
          if (run > 0 && typed == std::string(word).size()) words.push_back(keys.back());
          std::this_thread::sleep_until(key + std::chrono::milliseconds(120));
        }
      }
      Figure(std::string("typing ") + word + ": key to first page, median (" +
                 std::to_string(hits) + " hits)",
             Median(keys) * 1000, "ms");
      Figure(std::string("typing ") + word + ": key to first page, 95th percentile",
             Percentile(keys, 0.95) * 1000, "ms");
      Figure(std::string("typing ") + word + ": its last key (the whole word), median",
             Median(words) * 1000, "ms");
    }
  }

  // A check storing 5,000 new messages into 50 sources, with and without the index.
  if (part("check")) {
    const std::size_t count = std::min<std::size_t>(50, sources->size());
    const int items = int(5000 / count);
    std::vector<double> without, with, caughtUp;
    for (int run = 0; run < 2 * runs; ++run) {
      const bool indexed = run % 2 == 1;
      std::vector<std::string> feeds;
      for (std::size_t s = 0; s < count; ++s)
        feeds.push_back(FeedWith((*sources)[s].title, run, int(s), items));
      if (indexed) {
        // Sources changed by the runs without it are brought up to date first, untimed.
        search->SetSources(*sources);
        search->WaitUntilCurrent(std::chrono::hours(1));
        mInbox::AddListener(search.get());
      }
      const double stored = Timed([&] {
        for (std::size_t s = 0; s < count; ++s) {
          mInbox::SourceID = (*sources)[s].id;
          if (mInbox::StoreFeed(std::move(feeds[s]), (*sources)[s].title) !=
              mInbox::FeedFailure::None)
            std::cerr << "qp_archive_bench: a feed was not stored\n";
        }
      });
      if (indexed) {
        const double flushed = stored + Timed([&] { search->Flush(std::chrono::hours(1)); });
        mInbox::RemoveListener(search.get());
        with.push_back(stored);
        caughtUp.push_back(flushed);
      } else {
        without.push_back(stored);
      }
    }
    Figure("check storing 5,000 messages, without the index", Median(without), "s");
    Figure("check storing 5,000 messages, with the index (store returns)", Median(with), "s");
    Figure("check storing 5,000 messages, with the index (index current)", Median(caughtUp), "s");
    Figure("check with the index / without", Median(with) / Median(without), "x");
    Figure("check with the index current / without", Median(caughtUp) / Median(without), "x");
  }
  search->SetSources(*sources);
  search->WaitUntilCurrent(std::chrono::hours(1));
  search.reset();

  // The whole program for a rare word against grep over the data folder.
  if (!program.empty() && part("process")) {
    if (!ownIndex) {
      std::cerr << "qp_archive_bench: the process figure needs the program's own index\n";
      return 0;
    }
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const std::vector<std::string> baselineCache = {
        "XDG_CACHE_HOME=" + std::string(cache ? cache : "") + "/baseline"};
    std::vector<double> ours, version, grep, base;
    // Round 0 warms the page cache (and builds the baseline's index).
    for (int run = 0; run <= runs; ++run) {
      const double tOurs = TimedProcess({program, "--search", "quillion"});
      const double tVersion = TimedProcess({program, "--version"});
      const double tGrep = TimedProcess({"grep", "-rilF", "quillion", mAppFunctions::DataPath});
      const double tBase =
          baseline.empty() ? 0 : TimedProcess({baseline, "--search", "quillion"}, baselineCache);
      if (run == 0) continue;
      ours.push_back(tOurs);
      version.push_back(tVersion);
      grep.push_back(tGrep);
      base.push_back(tBase);
    }
    const double search = Median(ours), floor = Median(version), scan = Median(grep);
    Figure("quillpost --search quillion (whole process)", search * 1000, "ms");
    Figure("quillpost --version (whole process)", floor * 1000, "ms");
    Figure("grep -rilF quillion over the data folder", scan * 1000, "ms");
    Figure("grep / quillpost --search", scan / search, "x");
    Figure("grep / (quillpost --search - --version)", scan / std::max(search - floor, 1e-6), "x");
    if (!baseline.empty()) {
      Figure("baseline --search quillion (whole process)", Median(base) * 1000, "ms");
      Figure("grep / baseline --search", scan / Median(base), "x");
    }
    const auto range = [](std::vector<double> v) {
      std::sort(v.begin(), v.end());
      return v.empty() ? 0.0 : (v.back() - v.front()) * 1000;
    };
    Figure("spread (max - min) of --search runs", range(ours), "ms");
    Figure("spread (max - min) of grep runs", range(grep), "ms");
  }
  return 0;
}
