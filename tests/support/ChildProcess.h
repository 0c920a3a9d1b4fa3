#pragma once
// A child process for tests that run the real program: started with extra environment,
// waited for with a time limit, killed on request or when the object goes.

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace TestSupport {

class ChildProcess {
 public:
  // Starts program with args; env entries "NAME=value" are added to (or replace in) ours.
  // Standard output and error go to the given files when not empty.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::string& stdoutPath = {},
               const std::string& stderrPath = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }
  bool Running();
  // The exit status, or nullopt when it has not ended in time. A death by signal gives
  // 128 + the signal number.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  void Kill(int signal);

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
};

// True when another process holds an flock on the file.
bool FileLockedByOther(const std::string& path);

}  // namespace TestSupport
