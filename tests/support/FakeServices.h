#pragma once
// Fakes of every platform service. A FakePlatform installs them all for its lifetime: message
// boxes are recorded and answered from a script, the data folder is a fresh temporary folder.

#include "core/DocumentHost.h"
#include "core/Services.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace TestSupport {

struct ShownBox {
  std::string text;
  std::string title;
  int style = 0;
  bool operator==(const ShownBox&) const = default;
};

class FakeMessageBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string& title, int style) override;
  std::vector<ShownBox> shown;
  // Answers given in order; when empty, OK boxes answer vbOK and Yes/No boxes vbNo.
  std::deque<int> answers;
  // Runs while a box is open, as window events would.
  std::function<void()> whileOpen;
};

class FakeShell : public Services::IShell {
 public:
  void Open(const std::string& target, const FailureHandler& onFailure) override {
    opened.push_back(target);
    if (!failure.empty()) onFailure(failure);
  }
  std::vector<std::string> opened;
  std::string failure;  // when set, every open fails with this reason
};

class FakeEnvironment : public Services::IEnvironment {
 public:
  std::string AppDataFolder() override { return appData; }
  std::string ProgramFolder() override { return programFolder; }
  std::string ExecutableName() override { return executableName; }
  std::string ConfigFolder() override { return configFolder; }
  std::string CacheFolder() override { return cacheFolder; }
  // An existing folder, unless listed as read-only (tests run as root, where chmod stops nothing).
  bool IsWritableFolder(const std::string& folder) override;
  std::string appData, programFolder, configFolder, cacheFolder, executableName = "quillpost";
  std::set<std::string> readOnlyFolders;
};

class FakeNetwork : public Services::INetworkState {
 public:
  bool IsConnected() override { return connected; }
  bool connected = true;
};

class FakeClock : public Services::IClock {
 public:
  // Sleeping moves the clock on; a test may also set or jump it.
  void Sleep(int milliseconds) override {
    sleptMs += milliseconds;
    nowMs += milliseconds;
  }
  void ProcessEvents() override { ++eventRounds; }
  std::int64_t NowMs() override { return nowMs; }
  long long sleptMs = 0;
  long long eventRounds = 0;
  std::int64_t nowMs = 1'796'000'000'000;  // early December 2026
};

class FakeInstanceLock : public Services::IInstanceLock {
 public:
  bool TryAcquire(const std::string& name) override {
    asked.push_back(name);
    if (busyTries > 0) --busyTries;
    return available && busyTries == 0;
  }
  bool available = true;
  int busyTries = 0;  // the lock comes free at this try
  std::vector<std::string> asked;
};

class FakeRandom : public Services::IRandom {
 public:
  bool Fill(std::uint8_t* bytes, std::size_t count) override;
  // Bytes handed out in order; when they run out, a counter continues. fail: no bytes at all.
  std::deque<std::uint8_t> script;
  bool fail = false;
  std::uint8_t counter = 0;
};

class FakeStartup : public Services::IStartup {
 public:
  bool SetCommand(const std::string& name, const std::string& command) override;
  bool Remove(const std::string& name) override;
  std::vector<std::pair<std::string, std::string>> entries;
};

// The system's own stamps (the logic tests do not link the POSIX services): a test that restores
// a file from a copy gets the new change time and inode a real restore gets.
class StatFileStamps : public Services::IFileStamps {
 public:
  FileStamp Stamp(const std::string& path) override;
};

class FakeWindowSystem : public Services::IWindowSystem {
 public:
  bool OpacitySupported() override { return supported; }
  bool supported = true;
};

// Answers transfers from a table by link; unknown links fail like a refused connection. A
// transfer ends when a wait lets it: the oldest first, or the newest with newestFirst.
class FakeHttp : public Services::IHttp {
 public:
  TransferId Start(const Request& request, std::function<void(int)> onState) override;
  bool Finished(TransferId id) override;
  // A transfer holds its whole answer from its start, as a fast server would deliver it.
  std::size_t HeldBytes(TransferId id) override;
  Result Take(TransferId id) override;
  void Abort(TransferId id) override { m_transfers.erase(id); }
  void WaitForAny() override;

  std::map<std::string, Result> answers;
  std::vector<std::string> fetched;  // links, in the order their transfers started
  std::vector<Request> requests;     // the same, with the validators sent
  // Called as each transfer ends, as window events would run: lets a test act mid-run.
  std::function<void(const std::string&)> duringFetch;
  bool newestFirst = false;
  // Links that never answer. A wait with nothing else to end calls whileHanging (once per
  // wait); when that ends nothing either, they fail as timed out, counted in timedOut.
  std::set<std::string> hanging;
  std::function<void()> whileHanging;
  int timedOut = 0;
  std::size_t mostUnderWay = 0;  // the most transfers started and not yet taken at once

 private:
  struct Transfer {
    Request request;
    std::function<void(int)> onState;
    std::optional<Result> result;
  };
  std::map<TransferId, Transfer> m_transfers;
  TransferId m_next = 1;
};

class FakeProgress : public Services::IProgress {
 public:
  void SetQueue(const std::vector<std::string>& titles) override;
  void RemoveFirst() override;
  void SetSource(const std::string& title) override { events.push_back("source:" + title); }
  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  void Show() override;
  void Close() override;
  void Alert(const std::string& summary) override { alerts.push_back(summary); }

  std::vector<std::string> queue;     // what the list shows now
  std::vector<std::string> statuses;  // every status text, in order
  std::vector<std::string> alerts;
  std::vector<std::string> events;  // "queue:a|b", "remove", "show", "close", "source:x"
  bool visible = false;
};

class FakeSaveDialog : public Services::ISaveDialog {
 public:
  std::string AskSaveFile(const Request& request) override {
    requests.push_back(request);
    return answer;
  }
  std::vector<Request> requests;
  std::string answer;  // empty: the user cancels
};

// The main window's document windows: one per open message, recorded.
class FakeDocumentHost : public IDocumentHost {
 public:
  struct Opened {
    std::string itemId, caption, pagePath;
    bool operator==(const Opened&) const = default;
  };
  bool FocusDocument(const std::string& itemId) override {
    focused.push_back(itemId);
    return open.contains(itemId);
  }
  void OpenDocument(const std::string& itemId, const std::string& caption,
                    const std::string& pagePath, const std::string&) override {
    opened.push_back({itemId, caption, pagePath});
    open.insert(itemId);
  }
  bool CloseDocument(const std::string& itemId) override {
    closed.push_back(itemId);
    return open.erase(itemId) > 0;
  }
  std::set<std::string> open;
  std::vector<std::string> focused, closed;
  std::vector<Opened> opened;
};

// Installs every fake for its lifetime and restores what was installed before.
// appData is a fresh temporary folder, removed again at the end.
class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  FakeMessageBox messageBox;
  FakeShell shell;
  FakeEnvironment environment;
  FakeNetwork network;
  FakeClock clock;
  FakeInstanceLock instanceLock;
  FakeRandom random;
  FakeStartup startup;
  FakeWindowSystem windowSystem;
  StatFileStamps fileStamps;
  FakeHttp http;
  FakeProgress progress;
  FakeSaveDialog saveDialog;

  // The temporary root; environment.appData, programFolder and configFolder lie inside it (the
  // configuration folder is not created).
  std::string root;

 private:
  Services::Registry m_previous;
};

// A fresh empty temporary folder, removed when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Whole-file helpers for tests.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);

// Resets the program-wide state of every module to its start values.
void ResetProgramState();

}  // namespace TestSupport
