// cINI and IniDocument on an inbox-like file: 10,000 messages of six keys (description about
// 4 KB) and a read flag, about 40 MB, built once into a temporary folder.

#include "config/IniDocument.h"
#include "config/cINI.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kMessages = 10000;

std::string Guid(int i) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-0000-4000-8000-%012d}", i * 2654435761u, i);
  return text;
}

class Inbox {
 public:
  Inbox() {
    std::mt19937_64 random{std::random_device{}()};
    m_folder = (fs::temp_directory_path() / ("qp-bench-" + std::to_string(random()))).string();
    fs::create_directories(m_folder);
    m_path = m_folder + "/inbox.dat";
    IniDocument doc;
    std::string description;
    for (int i = 0; i < 4096 / 64; ++i) {
      description += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, no. ";
      description += std::to_string(i % 10);
    }
    for (int i = 0; i < kMessages; ++i) {
      const std::string guid = Guid(i);
      doc.SetValue(guid, "guid", guid);
      doc.SetValue(guid, "title", "Weekly letter number " + std::to_string(i));
      doc.SetValue(guid, "description", description);
      doc.SetValue(guid, "date", "2026-12-06");
      doc.SetValue(guid, "time", "21:03:42");
      doc.SetValue(guid, "offset", "+0100");
      doc.SetValue(guid, "read", "0");
    }
    doc.Save(m_path);
  }
  ~Inbox() {
    std::error_code ec;
    fs::remove_all(m_folder, ec);
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_folder;
  std::string m_path;
};

const Inbox& SharedInbox() {
  static const Inbox inbox;
  return inbox;
}

void ValueRead(benchmark::State& state) {
  cINI ini;
  ini.SetPath(SharedInbox().Path());
  ini.SetSection(Guid(kMessages - 1));  // the last section: a full scan
  ini.SetKey("description");
  for (auto _ : state) benchmark::DoNotOptimize(ini.Value());
}

void ValueWrite(benchmark::State& state) {
  cINI ini;
  ini.SetPath(SharedInbox().Path());
  ini.SetSection(Guid(kMessages / 2));
  ini.SetKey("read");
  bool read = false;
  for (auto _ : state) {
    read = !read;
    std::string text = read ? "1" : "0";
    ini.SetValue(text);
    if (!ini.Success()) state.SkipWithError("write failed");
  }
}

void EnumerateAllSections(benchmark::State& state) {
  cINI ini;
  ini.SetPath(SharedInbox().Path());
  std::vector<std::string> list;
  std::int32_t count = 0;
  for (auto _ : state) {
    ini.EnumerateAllSections(list, count);
    if (count != kMessages) state.SkipWithError("wrong section count");
  }
}

// The batch path: one parse, 100 changes spread over the file, one atomic rewrite.
void DocumentBatch(benchmark::State& state) {
  const std::string& path = SharedInbox().Path();
  bool read = false;
  for (auto _ : state) {
    read = !read;
    std::error_code ec;
    IniDocument doc = IniDocument::Load(path, ec);
    for (int i = 0; i < 100; ++i)
      doc.SetValue(Guid(i * (kMessages / 100)), "read", read ? "1" : "0");
    if (ec || !doc.Save(path, ec)) state.SkipWithError("batch failed");
  }
}

}  // namespace

BENCHMARK(ValueRead)->Unit(benchmark::kMillisecond);
BENCHMARK(ValueWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(EnumerateAllSections)->Unit(benchmark::kMillisecond);
BENCHMARK(DocumentBatch)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
