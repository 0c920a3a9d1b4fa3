#include "shell/QuitSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Written by the handler, read by the notifier: the one thing a handler may safely do.
int g_pipe[2] = {-1, -1};

extern "C" void QuitRequested(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
  // The next one ends the process: a reader stuck on its way out can still be stopped.
  for (const int each : kSignals) std::signal(each, SIG_DFL);
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), m_quit(std::move(quit)) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    m_notifier->setEnabled(false);
    if (m_quit) m_quit();
  });
  struct sigaction action {};
  action.sa_handler = &QuitRequested;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int each : kSignals) ::sigaction(each, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  for (const int each : kSignals) std::signal(each, SIG_DFL);
  delete m_notifier;
  for (int& end : g_pipe) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}
