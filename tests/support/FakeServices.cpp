#include "support/FakeServices.h"

#include <sys/stat.h>

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

Services::IHttp::TransferId FakeHttp::Start(const Request& request,
                                            std::function<void(int)> onState) {
  fetched.push_back(request.url);
  requests.push_back(request);
  m_transfers[m_next] = {request, std::move(onState), std::nullopt};
  mostUnderWay = std::max(mostUnderWay, m_transfers.size());
  return m_next++;
}

bool FakeHttp::Finished(TransferId id) {
  const auto it = m_transfers.find(id);
  return it == m_transfers.end() || it->second.result.has_value();
}

std::size_t FakeHttp::HeldBytes(TransferId id) {
  const auto it = m_transfers.find(id);
  if (it == m_transfers.end()) return 0;
  const auto answer = answers.find(it->second.request.url);
  return answer == answers.end() ? 0 : answer->second.text.size();
}

Services::IHttp::Result FakeHttp::Take(TransferId id) {
  const auto it = m_transfers.find(id);
  if (it == m_transfers.end() || !it->second.result) return {false, 0, {}, "not finished"};
  Result result = std::move(*it->second.result);
  m_transfers.erase(it);
  return result;
}

void FakeHttp::WaitForAny() {
  const auto next = [this]() -> std::optional<TransferId> {
    std::optional<TransferId> found;
    for (const auto& [id, transfer] : m_transfers) {
      if (transfer.result || hanging.contains(transfer.request.url)) continue;
      if (!found || newestFirst) found = id;
      if (!newestFirst) break;
    }
    return found;
  };
  std::optional<TransferId> id = next();
  if (!id) {
    const std::size_t before = m_transfers.size();
    if (whileHanging) whileHanging();
    if (m_transfers.size() != before) return;
    // Nothing would ever end: the transfer limit does.
    for (auto& [key, transfer] : m_transfers) {
      if (transfer.result) continue;
      transfer.result = Result{false, 0, {}, "timed out after 60 s"};
      ++timedOut;
    }
    return;
  }
  const std::string url = m_transfers[*id].request.url;
  if (duringFetch) duringFetch(url);
  const auto it = m_transfers.find(*id);
  if (it == m_transfers.end()) return;  // aborted meanwhile
  const auto answer = answers.find(url);
  Result result =
      answer == answers.end() ? Result{false, 0, {}, "connection refused"} : answer->second;
  const std::function<void(int)> onState = it->second.onState;
  it->second.result = std::move(result);
  if (onState) {
    if (answer != answers.end()) {
      for (int state : {1, 2, 3, 4, 5, 6, 7, 8}) onState(state);
    }
    onState(answer != answers.end() && answer->second.ok ? 12 : 11);
  }
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
  environment.cacheFolder = root + "/cache";
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
  current.fileStamps = &fileStamps;
  current.windowSystem = &windowSystem;
  current.http = &http;
  current.progress = &progress;
  current.saveDialog = &saveDialog;
  ResetProgramState();
}

FileStamp StatFileStamps::Stamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  const auto ns = [](const timespec& at) { return at.tv_sec * 1'000'000'000LL + at.tv_nsec; };
  return {true, static_cast<std::uint64_t>(info.st_size), ns(info.st_mtim), ns(info.st_ctim),
          static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev)};
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
