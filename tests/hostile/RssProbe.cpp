// qp_rss_probe OUTFILE PROGRAM [ARGS...]: runs the program, writes its peak resident set in kB to
// OUTFILE and exits with its status (128 + signal). Started straight from the large test process,
// the program would count the test's memory in its peak (exec keeps the high-water mark).

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // the program dies with its probe
    if (::getppid() == parent) ::execv(argv[2], argv + 2);
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return 126;
  if (std::FILE* out = std::fopen(argv[1], "w")) {
    std::fprintf(out, "%ld\n", usage.ru_maxrss);
    std::fclose(out);
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
