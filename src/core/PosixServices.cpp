#include "core/PosixServices.h"

#include "core/AsciiText.h"
#include "core/AtomicFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace PosixServices {

namespace {

std::string SelfExecutable() {
  std::error_code ec;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

// The name becomes a file name: it must not reach outside the autostart folder.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

// A string value of a desktop entry: backslash and line-breaking characters escaped.
std::string EntryText(const std::string& text) { return AsciiText::Escaped(text); }

// Exec also expands field codes: a literal percent sign is written twice.
std::string ExecText(const std::string& command) {
  std::string out;
  for (char c : EntryText(command)) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// Empty when the user has no known home.
std::string AutostartFolder() {
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  return config.empty() ? std::string() : config + "/autostart";
}

std::string AutostartFile(const std::string& name) {
  return AutostartFolder() + "/" + name + ".desktop";
}

}  // namespace

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

std::string XdgFolder(const char* variable, const char* inHome) {
  if (const char* xdg = std::getenv(variable); xdg && xdg[0] == '/') {
    std::string folder = xdg;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/" + inHome;
}

std::string Environment::AppDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share"); }

std::string Environment::ProgramFolder() {
  return std::filesystem::path(SelfExecutable()).parent_path().string();
}

std::string Environment::ExecutableName() {
  return std::filesystem::path(SelfExecutable()).filename().string();
}

std::string Environment::ConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config"); }

std::string Environment::CacheFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache"); }

bool Environment::IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  return !folder.empty() && std::filesystem::is_directory(folder, ec) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool InstanceLock::TryAcquire(const std::string& lockFile) {
  // A second open file of this process would conflict with its own lock.
  if (lockFile == m_held) return true;
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no place for a lock: better one run too many than none
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  m_held = lockFile;
  return true;  // the descriptor stays open until the process ends
}

bool Random::Fill(std::uint8_t* bytes, std::size_t count) {
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

bool XdgStartup::SetCommand(const std::string& name, const std::string& command) {
  if (!IsPlainName(name) || AutostartFolder().empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(AutostartFolder(), ec);
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + EntryText(name) +
                            "\nExec=" + ExecText(command) + "\nX-GNOME-Autostart-enabled=true\n";
  return AtomicFile::Replace(AutostartFile(name), entry, ec);
}

bool XdgStartup::Remove(const std::string& name) {
  if (!IsPlainName(name)) return false;
  if (AutostartFolder().empty()) return true;  // no folder, no entry
  std::error_code ec;
  std::filesystem::remove(AutostartFile(name), ec);
  return !ec;
}

FileStamp FileStamps::Stamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  const auto ns = [](const timespec& at) {
    return static_cast<std::int64_t>(at.tv_sec) * 1'000'000'000 + at.tv_nsec;
  };
  return {true,
          static_cast<std::uint64_t>(info.st_size),
          ns(info.st_mtim),
          ns(info.st_ctim),
          static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_dev)};
}

void DiskSync::Flush(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fdatasync(fd);
  ::close(fd);
}

int StderrMessageBox::Show(const std::string& text, const std::string& title, int style) {
  std::string out = title + "\n" + text + "\n";
  // CR LF inside texts: plain line ends for a terminal or a cron mail.
  for (std::size_t at; (at = out.find("\r\n")) != std::string::npos;) out.erase(at, 1);
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
  return Services::DefaultAnswer(style);
}

}  // namespace PosixServices
