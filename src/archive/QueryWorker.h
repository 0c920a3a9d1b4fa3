#pragma once
// Runs the questions a window asks of the search index on a thread of its own, so that the
// window's thread never waits for the index or the inbox files. Questions go by lanes (a result
// list, the saved searches' counts): a lane holds at most one question waiting, and a newer one
// replaces it, so a query typed over an older one never waits behind it; lanes take turns.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace Archive {

class QueryWorker {
 public:
  QueryWorker();
  // Questions waiting are dropped; the one running is finished first.
  ~QueryWorker();
  QueryWorker(const QueryWorker&) = delete;
  QueryWorker& operator=(const QueryWorker&) = delete;

  void Ask(int lane, std::function<void()> question);
  // Returns once every question asked so far is answered (or dropped for a newer one).
  void Drain();

 private:
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::deque<std::pair<int, std::function<void()>>> m_waiting;
  bool m_running = false;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace Archive
