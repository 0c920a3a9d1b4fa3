// qp_rss_probe OUTFILE PROGRAM [ARGS...]: runs the program as its child, writes the child's peak
// resident set in kB to OUTFILE and exits with the child's status (128 + signal for a death by
// signal). A program started straight from a large test process would count the test's memory
// in its peak, because exec keeps the high-water mark of the memory it replaces; started from
// this small process it counts little more than its own. The child dies with the probe.

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: qp_rss_probe OUTFILE PROGRAM [ARGS...]\n", stderr);
    return 125;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return 126;
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::execv(argv[2], argv + 2);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 126;
  }
  if (std::FILE* out = std::fopen(argv[1], "w")) {
    std::fprintf(out, "%ld\n", usage.ru_maxrss);
    std::fclose(out);
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
