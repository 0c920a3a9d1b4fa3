#include "core/QtServices.h"

#include "core/AtomicFile.h"
#include "core/QtSaveDialog.h"
#include "retrieval/HttpService.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace QtServices {

namespace {

std::string EscapeForLog(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

int DefaultAnswer(int style) {
  const int buttons = style & 7;
  const bool second = (style & Services::vbDefaultButton2) != 0;
  switch (buttons) {
    case 1: return second ? Services::vbCancel : Services::vbOK;
    case 4: return second ? Services::vbNo : Services::vbYes;
    default: return Services::vbOK;
  }
}

// Appends one line per box: style, title and text, tab-separated, escaped.
void LogBox(const char* logPath, const std::string& text, const std::string& title, int style) {
  if (FILE* f = std::fopen(logPath, "a")) {
    const std::string line =
        std::to_string(style) + "\t" + EscapeForLog(title) + "\t" + EscapeForLog(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
}

class DesktopMessageBox : public Services::IMessageBox {
public:
  int Show(const std::string& text, const std::string& title, int style) override {
    if (const char* logPath = std::getenv("QUILLPOST_MESSAGE_LOG"); logPath && *logPath) {
      LogBox(logPath, text, title, style);
      return DefaultAnswer(style);
    }
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (style & 0x70) {
      case Services::vbCritical: box.setIcon(QMessageBox::Critical); break;
      case Services::vbQuestion: box.setIcon(QMessageBox::Question); break;
      case Services::vbExclamation: box.setIcon(QMessageBox::Warning); break;
      case Services::vbInformation: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    const int buttons = style & 7;
    const bool second = (style & Services::vbDefaultButton2) != 0;
    if (buttons == 4) {
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
    } else if (buttons == 1) {
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(second ? QMessageBox::Cancel : QMessageBox::Ok);
    } else {
      box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
      case QMessageBox::Yes: return Services::vbYes;
      case QMessageBox::No: return Services::vbNo;
      case QMessageBox::Cancel: return Services::vbCancel;
      default: return Services::vbOK;
    }
  }
};

// Without windows the boxes go to standard error: title, then text.
class StderrMessageBox : public Services::IMessageBox {
public:
  int Show(const std::string& text, const std::string& title, int style) override {
    std::string out = title + "\n" + text + "\n";
    // CR LF inside texts: plain line ends for a terminal or a cron mail.
    for (std::size_t at; (at = out.find("\r\n")) != std::string::npos;) out.erase(at, 1);
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
    return DefaultAnswer(style);
  }
};

class DesktopShell : public Services::IShell {
public:
  void Open(const std::string& target) override {
    const QString text = QString::fromStdString(target);
    const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath())
                                             : QUrl::fromUserInput(text);
    QDesktopServices::openUrl(url);
  }
};

std::string SelfExecutable() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

// The user's home folder without a trailing separator; empty when unknown.
std::string HomeFolder() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

// An XDG base folder: the variable when it holds an absolute path, else that folder in home.
std::string XdgFolder(const char* variable, const char* inHome) {
  if (const char* xdg = std::getenv(variable); xdg && xdg[0] == '/') {
    std::string folder = xdg;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/" + inHome;
}

class PosixEnvironment : public Services::IEnvironment {
public:
  std::string AppDataFolder() override { return XdgFolder("XDG_DATA_HOME", ".local/share"); }
  std::string ProgramFolder() override {
    return std::filesystem::path(SelfExecutable()).parent_path().string();
  }
  std::string ExecutableName() override {
    return std::filesystem::path(SelfExecutable()).filename().string();
  }
  std::string ConfigFolder() override { return XdgFolder("XDG_CONFIG_HOME", ".config"); }
  // access() also answers for read-only mounts; for root every other folder counts as writable,
  // which is true.
  bool IsWritableFolder(const std::string& folder) override {
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
  }
};

class DesktopNetworkState : public Services::INetworkState {
public:
  bool IsConnected() override {
    if (!m_triedBackend) {
      m_triedBackend = true;
      QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    }
    if (auto* info = QNetworkInformation::instance()) {
      const auto reach = info->reachability();
      if (reach == QNetworkInformation::Reachability::Disconnected) return false;
      if (reach != QNetworkInformation::Reachability::Unknown) return true;
    }
    // No backend: online when any interface other than loopback is up and running.
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
      const auto flags = iface.flags();
      if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning) &&
          !(flags & QNetworkInterface::IsLoopBack))
        return true;
    }
    return false;
  }

private:
  bool m_triedBackend = false;
};

class DesktopClock : public Services::IClock {
public:
  void Sleep(int milliseconds) override {
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
  }
  void ProcessEvents() override {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
  }
};

// /run/user/<uid> when it exists and belongs to the user; empty otherwise.
std::string SessionRuntimeFolder() {
  const std::string folder = "/run/user/" + std::to_string(getuid());
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
    return {};
  return folder;
}

// A lock file held with flock: the kernel drops it when the process ends, however it ends.
class FlockInstanceLock : public Services::IInstanceLock {
public:
  bool TryAcquire(const std::string& name) override {
    std::string path;
    std::string runtime;
    if (const char* env = std::getenv("XDG_RUNTIME_DIR"); env && env[0] == '/') runtime = env;
    // cron starts "--check" without the session's variables: the login manager's runtime folder
    // is the one the session uses, and the check must see a reader running there.
    if (runtime.empty()) runtime = SessionRuntimeFolder();
    std::error_code ec;
    if (!runtime.empty() && std::filesystem::is_directory(runtime, ec)) {
      path = runtime + "/" + name + ".lock";
    } else {
      path = std::filesystem::temp_directory_path(ec).string() + "/" + name + "-" +
             std::to_string(getuid()) + ".lock";
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // no place for a lock: better one run too many than none
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return false;
    }
    return true;  // the descriptor stays open until the process ends
  }
};

class OsRandom : public Services::IRandom {
public:
  bool Fill(std::uint8_t* bytes, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::getrandom(bytes + done, count - done, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += static_cast<std::size_t>(got);
    }
    return true;
  }
};

// Session start-up through an XDG autostart entry. The command arrives with its quoting done
// (a quoted argument escapes the double quote, '`', '$' and the backslash); the entry file adds
// its own string escapes on top, so one backslash of the command is written as two.
class XdgStartup : public Services::IStartup {
public:
  bool SetCommand(const std::string& name, const std::string& command) override {
    if (!IsPlainName(name) || Folder().empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(Folder(), ec);
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + EntryText(name) +
                              "\nExec=" + ExecText(command) +
                              "\nX-GNOME-Autostart-enabled=true\n";
    return AtomicFile::Replace(FilePath(name), entry, ec);
  }
  bool Remove(const std::string& name) override {
    if (!IsPlainName(name)) return false;
    if (Folder().empty()) return true;  // no folder, no entry
    std::error_code ec;
    std::filesystem::remove(FilePath(name), ec);
    return !ec;
  }

private:
  // The name becomes a file name: it must not reach outside the autostart folder.
  static bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
  }
  // A string value of a desktop entry: backslash and control characters escaped.
  static std::string EntryText(const std::string& text) {
    std::string out;
    for (char c : text) {
      switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
      }
    }
    return out;
  }
  // Exec also expands field codes: a literal percent sign is written twice.
  static std::string ExecText(const std::string& command) {
    std::string out;
    for (char c : EntryText(command)) {
      out += c;
      if (c == '%') out += '%';
    }
    return out;
  }
  // Empty when the user has no known home.
  static std::string Folder() {
    const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
    return config.empty() ? std::string() : config + "/autostart";
  }
  static std::string FilePath(const std::string& name) { return Folder() + "/" + name + ".desktop"; }
};

class PosixDiskSync : public Services::IDiskSync {
public:
  void Flush(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::close(fd);
  }
};

class DesktopWindowSystem : public Services::IWindowSystem {
public:
  bool OpacitySupported() override { return true; }
};

struct Installed {
  DesktopMessageBox desktopBox;
  StderrMessageBox stderrBox;
  DesktopShell shell;
  PosixEnvironment environment;
  DesktopNetworkState network;
  DesktopClock clock;
  FlockInstanceLock lock;
  OsRandom random;
  XdgStartup startup;
  PosixDiskSync diskSync;
  DesktopWindowSystem windowSystem;
  QtSaveDialog saveDialog;
};

Installed& Instances() {
  static Installed installed;
  return installed;
}

void InstallCommon() {
  auto& s = Instances();
  auto& r = Services::Current();
  r.shell = &s.shell;
  r.environment = &s.environment;
  r.network = &s.network;
  r.clock = &s.clock;
  r.instanceLock = &s.lock;
  r.random = &s.random;
  r.startup = &s.startup;
  r.diskSync = &s.diskSync;
  r.windowSystem = &s.windowSystem;
  r.http = &HttpService::Shared();
}

}  // namespace

void InstallDesktop() {
  InstallCommon();
  Services::Current().messageBox = &Instances().desktopBox;
  Services::Current().saveDialog = &Instances().saveDialog;
}

void InstallHeadless() {
  InstallCommon();
  Services::Current().messageBox = &Instances().stderrBox;
}

}  // namespace QtServices
