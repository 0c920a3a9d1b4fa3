#pragma once
// The platform services that plain POSIX provides, without Qt: the program's folders, the
// single-instance lock, random bytes, the session's autostart entry, the disk flush, file stamps
// and message boxes written to standard error for runs without windows. The entry installs them;
// the benchmarks use the disk flush.

#include "core/Services.h"

namespace PosixServices {

// The user's home folder without a trailing separator; empty when unknown.
std::string HomeFolder();
// An XDG base folder: the variable when it holds an absolute path, else that folder in home.
std::string XdgFolder(const char* variable, const char* inHome);

class Environment : public Services::IEnvironment {
 public:
  std::string AppDataFolder() override;
  std::string ProgramFolder() override;
  std::string ExecutableName() override;
  std::string ConfigFolder() override;
  std::string CacheFolder() override;
  // access() also answers for read-only mounts; for root every other folder counts as writable,
  // which is true.
  bool IsWritableFolder(const std::string& folder) override;
};

// A lock file held with flock: the kernel drops it when the process ends, however it ends.
class InstanceLock : public Services::IInstanceLock {
 public:
  bool TryAcquire(const std::string& lockFile) override;

 private:
  std::string m_held;
};

class Random : public Services::IRandom {
 public:
  bool Fill(std::uint8_t* bytes, std::size_t count) override;
};

// Session start-up through an XDG autostart entry. The command arrives with its quoting done
// (a quoted argument escapes the double quote, '`', '$' and the backslash); the entry file adds
// its own string escapes on top, so one backslash of the command is written as two.
class XdgStartup : public Services::IStartup {
 public:
  bool SetCommand(const std::string& name, const std::string& command) override;
  bool Remove(const std::string& name) override;
};

// Stamps from stat(), following symbolic links.
class FileStamps : public Services::IFileStamps {
 public:
  FileStamp Stamp(const std::string& path) override;
};

class DiskSync : public Services::IDiskSync {
 public:
  void Flush(const std::string& path) override;
};

// Without windows the boxes go to standard error: title, then text; each answered with its
// default button.
class StderrMessageBox : public Services::IMessageBox {
 public:
  int Show(const std::string& text, const std::string& title, int style) override;
};

}  // namespace PosixServices
