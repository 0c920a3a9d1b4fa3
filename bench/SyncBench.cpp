// qp_sync_bench [SOURCES] [MESSAGES] [RUNS]: the sync engine on a data folder of SOURCES inboxes
// of MESSAGES messages (about 1.3 KB each, nine in ten read), default 100 x 1,000:
//   - turning sync on: the first snapshot of everything read;
//   - merging another machine's snapshot that marks every message the other way (so every
//     inbox is rewritten once), median of RUNS (default 5) on fresh copies, page cache warm,
//     disk flushes on as in the program;
//   - how long an action takes to reach this machine's log in the folder;
//   - the size of a snapshot of that many marks;
//   - hostile files: a log with a 1 GB line and one with 10^6 events, merged beside the rest.
// Figures are printed, never asserted.

#include "core/PosixServices.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "sync/SyncEngine.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

class BenchClock : public Services::IClock {
 public:
  void Sleep(int) override {}
  void ProcessEvents() override {}
};

class BenchEnvironment : public PosixServices::Environment {
 public:
  explicit BenchEnvironment(std::string root) : m_root(std::move(root)) {}
  std::string AppDataFolder() override { return m_root + "/appdata"; }
  std::string ProgramFolder() override { return m_root + "/program"; }

 private:
  std::string m_root;
};

class QuietBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string&, int style) override {
    std::cerr << "box: " << text << "\n";
    return Services::DefaultAnswer(style);
  }
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string Guid(long s, long m) {
  return "https://letters.example/" + std::to_string(s) + "/issue-" + std::to_string(m);
}

std::string Link(long s) { return "http://news.quillpost.test/letters/" + std::to_string(s) + ".xml"; }

void MakeDataFolder(const std::string& data, long sources, long messages) {
  std::mt19937_64 random(20261207);
  std::string body;
  while (body.size() < 1100) body += "<p>Words of a newsletter, " + std::to_string(random() % 1000) + " of them.</p>";
  std::string subscriptions = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sources>\r\n";
  for (long s = 0; s < sources; ++s) {
    char id[64];
    std::snprintf(id, sizeof id, "%08lX-0000-4000-8000-%012lX", s, s);
    subscriptions += "<source id=\"" + std::string(id) + "\" title=\"Letters " + std::to_string(s) +
                     "\">" + Link(s) + "</source>\r\n";
    fs::create_directories(data + "/" + id);
    std::string inbox;
    for (long m = 0; m < messages; ++m) {
      inbox += "[" + Guid(s, m) + "]\r\ntitle=Issue " + std::to_string(m) + "\r\ndescription=" + body +
               "\r\ndate=Sat, 05 Dec 2026\r\ntime=09:00:00\r\noffset=GMT\r\nread=" +
               (m % 10 == 0 ? "0" : "1") + "\r\n";
    }
    std::ofstream(data + "/" + id + "/inbox.dat", std::ios::binary) << inbox;
  }
  std::ofstream(data + "/subscriptions.dat", std::ios::binary) << subscriptions + "</sources>\r\n";
}

// The other machine's snapshot: every message marked the other way.
std::string OtherSnapshot(long sources, long messages, std::int64_t ms) {
  const std::string other(32, 'f');
  Sync::State state;
  for (long s = 0; s < sources; ++s)
    for (long m = 0; m < messages; ++m)
      state.Add({m % 10 == 0 ? Sync::Kind::Read : Sync::Kind::Unread, {ms, 0}, other, Link(s),
                 Guid(s, m), {}, {}});
  return Sync::StateText(state, {Sync::FileType::Snapshot, other, "0123456789abcdef", "0123456789abcdef"}, false);
}

// Processor time of this process (user and system), which other work on the machine does not
// stretch as it stretches the wall clock.
double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  const long sources = argc > 1 ? std::stol(argv[1]) : 100;
  const long messages = argc > 2 ? std::stol(argv[2]) : 1000;
  const int runs = argc > 3 ? std::stoi(argv[3]) : 5;
  const std::string root = (fs::temp_directory_path() / ("qp-sync-bench-" + std::to_string(getpid()))).string();
  BenchClock clock;
  BenchEnvironment environment(root);
  PosixServices::Random random;
  PosixServices::DiskSync diskSync;
  QuietBox box;
  auto& services = Services::Current();
  services.clock = &clock;
  services.environment = &environment;
  services.random = &random;
  if (!std::getenv("QP_BENCH_NO_FSYNC")) services.diskSync = &diskSync;
  services.messageBox = &box;
  fs::create_directories(root + "/program");
  fs::create_directories(root + "/sync");
  const std::string data = root + "/appdata/Quillpost Data";
  MakeDataFolder(data, sources, messages);
  mAppFunctions::InitializeDataFolder();
  const long marks = sources * messages;

  {
    Sync::Engine engine;
    const auto start = Clock::now();
    const auto set = engine.SetFolder(root + "/sync");
    std::printf("turning sync on (first snapshot of %ld read marks): %.0f ms%s\n",
                engine.Merged().MarkCount(), Ms(Clock::now() - start),
                set.refusal.empty() ? "" : (" refused: " + set.refusal).c_str());
  }
  fs::copy(root + "/appdata", root + "/pristine-appdata", fs::copy_options::recursive);
  fs::copy(root + "/sync", root + "/pristine-sync", fs::copy_options::recursive);
  const std::string snapshot =
      OtherSnapshot(sources, messages, std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::system_clock::now().time_since_epoch())
                                               .count() + 60'000);
  std::printf("a snapshot of %ld marks: %.2f MB\n", marks, snapshot.size() / 1e6);

  std::vector<double> times, cpu;
  std::size_t rewritten = 0;
  for (int run = 0; run < runs; ++run) {
    fs::remove_all(root + "/appdata");
    fs::remove_all(root + "/sync");
    fs::copy(root + "/pristine-appdata", root + "/appdata", fs::copy_options::recursive);
    fs::copy(root + "/pristine-sync", root + "/sync", fs::copy_options::recursive);
    Sync::Engine engine;
    engine.Start();
    std::ofstream(root + "/sync/quillpost-" + std::string(32, 'f') + ".snapshot", std::ios::binary) << snapshot;
    const auto start = Clock::now();
    const double cpuStart = CpuMs();
    const Sync::Report report = engine.Merge();
    times.push_back(Ms(Clock::now() - start));
    cpu.push_back(CpuMs() - cpuStart);
    rewritten = report.inboxesChanged.size();
    for (const std::string& line : report.lines) std::cerr << line << "\n";
  }
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  std::printf("merge of %ld marks from another machine over %ld sources x %ld messages (%zu inboxes rewritten): median %.0f ms, runs:",
              marks, sources, messages, rewritten, sorted[sorted.size() / 2]);
  for (const double t : times) std::printf(" %.0f", t);
  std::sort(cpu.begin(), cpu.end());
  std::printf("; processor time median %.0f ms\n", cpu[cpu.size() / 2]);

  {
    Sync::Engine engine;
    engine.Start();
    const std::string log = root + "/sync/" + Sync::LogName(engine.Machine());
    std::vector<double> latency;
    for (int i = 0; i < 1000; ++i) {
      const auto before = fs::file_size(log);
      const auto start = Clock::now();
      engine.ReadChanged("00000000-0000-4000-8000-000000000000", Guid(0, i), i % 2 == 0);
      latency.push_back(Ms(Clock::now() - start));
      if (fs::file_size(log) <= before) std::printf("action %d did not reach the log\n", i);
    }
    std::sort(latency.begin(), latency.end());
    std::printf("an action reaches the log in the folder: median %.3f ms, slowest %.3f ms of 1000\n",
                latency[latency.size() / 2], latency.back());
  }

  {
    // Hostile files beside the good ones: a gigabyte line (sparse) and a million events.
    Sync::Engine engine;
    engine.Start();
    const std::string sync = root + "/sync/";
    const std::string big = sync + "quillpost-" + std::string(32, 'e') + ".log";
    std::ofstream(big, std::ios::binary) << "QPSYNC\t1\tlog\t" << std::string(32, 'e')
                                         << "\t0123456789abcdef\nR\t5\t" << Link(0) << "\tx";
    fs::resize_file(big, fs::file_size(big) + (std::uintmax_t{1} << 30));
    std::ofstream(big, std::ios::binary | std::ios::app) << "\nR\t6\t" << Link(0) << "\t" << Guid(0, 1) << "\n";
    std::ofstream many(sync + "quillpost-" + std::string(32, 'd') + ".log", std::ios::binary);
    many << "QPSYNC\t1\tlog\t" << std::string(32, 'd') << "\t0123456789abcdef\n";
    for (long i = 0; i < 1'000'000; ++i)
      many << (i % 2 ? "R\t" : "Z\t") << 1000 + i << "\t" << Link(i % sources) << "\tg" << i << "\n";
    many.close();
    const auto start = Clock::now();
    const Sync::Report report = engine.Merge();
    std::printf("hostile files (a 1 GB line, 10^6 events) merged in %.0f ms: %zu items refused, status %d, peak memory %ld MB\n",
                Ms(Clock::now() - start), report.refused, report.ExitStatus(), PeakRssMb());
  }
  fs::remove_all(root);
  return 0;
}
