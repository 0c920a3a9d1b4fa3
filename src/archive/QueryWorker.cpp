#include "archive/QueryWorker.h"

#include <algorithm>

namespace Archive {

QueryWorker::QueryWorker() : m_thread([this] { Run(); }) {}

QueryWorker::~QueryWorker() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_waiting.clear();
  }
  m_wake.notify_all();
  m_thread.join();
}

void QueryWorker::Ask(int lane, std::function<void()> question) {
  {
    std::lock_guard lock(m_mutex);
    const auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                      [lane](const auto& asked) { return asked.first == lane; });
    if (waiting != m_waiting.end()) {
      waiting->second = std::move(question);
    } else {
      m_waiting.emplace_back(lane, std::move(question));
    }
  }
  m_wake.notify_all();
}

void QueryWorker::Drain() {
  std::unique_lock lock(m_mutex);
  m_idle.wait(lock, [this] { return m_waiting.empty() && !m_running; });
}

void QueryWorker::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stop || !m_waiting.empty(); });
    if (m_stop) break;
    std::function<void()> question = std::move(m_waiting.front().second);
    m_waiting.pop_front();
    m_running = true;
    lock.unlock();
    question();
    question = nullptr;  // what it holds goes before the lock is taken again
    lock.lock();
    m_running = false;
    m_idle.notify_all();
  }
  m_running = false;
  m_idle.notify_all();
}

}  // namespace Archive
