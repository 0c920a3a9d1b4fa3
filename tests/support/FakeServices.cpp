#include "support/FakeServices.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace TestSupport {

int FakeMessageBox::Show(const std::string& text, const std::string& title, int style) {
  shown.push_back({text, title, style});
  if (whileOpen) whileOpen();
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & Services::vbYesNo) ? Services::vbNo : Services::vbOK;
}

bool FakeEnvironment::IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  return !readOnlyFolders.contains(folder) && fs::is_directory(folder, ec);
}

bool FakeRandom::Fill(std::uint8_t* bytes, std::size_t count) {
  if (fail) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!script.empty()) {
      bytes[i] = script.front();
      script.pop_front();
    } else {
      bytes[i] = counter++;
    }
  }
  return true;
}

bool FakeStartup::SetCommand(const std::string& name, const std::string& command) {
  Remove(name);
  entries.emplace_back(name, command);
  return true;
}

bool FakeStartup::Remove(const std::string& name) {
  std::erase_if(entries, [&](const auto& entry) { return entry.first == name; });
  return true;
}

Services::IHttp::Result FakeHttp::FetchText(const std::string& url,
                                            const std::function<void(int)>& onState) {
  fetched.push_back(url);
  if (duringFetch) duringFetch(url);
  const auto it = answers.find(url);
  if (it == answers.end()) {
    if (onState) onState(11);
    return {false, 0, {}, "connection refused"};
  }
  if (onState) {
    for (int state : {1, 2, 3, 4, 5, 6, 7, 8}) onState(state);
    onState(it->second.ok ? 12 : 11);
  }
  return it->second;
}

void FakeProgress::SetQueue(const std::vector<std::string>& titles) {
  queue = titles;
  std::string joined;
  for (const auto& t : titles) joined += (joined.empty() ? "" : "|") + t;
  events.push_back("queue:" + joined);
}

void FakeProgress::RemoveFirst() {
  if (!queue.empty()) queue.erase(queue.begin());
  events.push_back("remove");
}

void FakeProgress::Show() {
  visible = true;
  events.push_back("show");
}

void FakeProgress::Close() {
  visible = false;
  events.push_back("close");
}

TempFolder::TempFolder() {
  static std::mt19937_64 generator{std::random_device{}()};
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("qp-test-" + std::to_string(generator()));
    if (fs::create_directory(candidate)) {
      m_path = candidate.string();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

namespace {
std::string MakeRoot() {
  static std::mt19937_64 generator{std::random_device{}()};
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("qp-fake-" + std::to_string(generator()));
    if (fs::create_directory(candidate)) return candidate.string();
  }
}
}  // namespace

FakePlatform::FakePlatform() : root(MakeRoot()) {
  environment.appData = root + "/appdata";
  environment.programFolder = root + "/program";
  environment.configFolder = root + "/config";
  fs::create_directories(environment.appData);
  fs::create_directories(environment.programFolder);
  m_previous = Services::Current();
  auto& current = Services::Current();
  current.messageBox = &messageBox;
  current.shell = &shell;
  current.environment = &environment;
  current.network = &network;
  current.clock = &clock;
  current.instanceLock = &instanceLock;
  current.random = &random;
  current.startup = &startup;
  current.diskSync = nullptr;
  current.windowSystem = &windowSystem;
  current.http = &http;
  current.progress = &progress;
  current.saveDialog = &saveDialog;
  ResetProgramState();
}

FakePlatform::~FakePlatform() {
  Services::Current() = m_previous;
  ResetProgramState();
  std::error_code ec;
  fs::remove_all(root, ec);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return std::move(buffer).str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace TestSupport
