#include "archive/ReadAhead.h"

#include <algorithm>

namespace Archive {

namespace {

constexpr std::size_t kAhead = 2;
constexpr std::int64_t kLargest = std::int64_t{64} << 20;

}  // namespace

ReadAhead::ReadAhead(std::string dataFolder)
    : m_dataFolder(std::move(dataFolder)), m_thread([this] { Run(); }) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void ReadAhead::Plan(std::vector<Next> next) {
  {
    std::lock_guard lock(m_mutex);
    m_plan = std::move(next);
    std::erase_if(m_ready, [this](const auto& ready) {
      return std::none_of(m_plan.begin(), m_plan.end(),
                          [&](const Next& next) { return next.id == ready.first; });
    });
  }
  m_wake.notify_all();
}

std::optional<InboxText::Inbox> ReadAhead::Take(const std::string& id) {
  std::optional<InboxText::Inbox> inbox;
  {
    std::lock_guard lock(m_mutex);
    if (const auto ready = m_ready.find(id); ready != m_ready.end()) {
      inbox = std::move(ready->second);
      m_ready.erase(ready);
    }
  }
  m_wake.notify_all();
  return inbox;
}

void ReadAhead::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    std::optional<Next> next;
    m_wake.wait(lock, [&] {
      if (m_stop) return true;
      next.reset();
      if (m_ready.size() >= kAhead) return false;
      for (const Next& planned : m_plan) {
        if (m_ready.contains(planned.id)) continue;
        next = planned;
        break;
      }
      return next.has_value();
    });
    if (m_stop) return;
    lock.unlock();
    const std::string path = InboxText::InboxFile(m_dataFolder, next->id);
    std::optional<InboxText::Inbox> inbox;
    if (InboxText::StampOf(path).size <= kLargest) inbox = InboxText::ReadStable(path, next->fresh);
    lock.lock();
    // Still wanted: the plan may have moved on meanwhile.
    if (std::any_of(m_plan.begin(), m_plan.end(), [&](const Next& n) { return n.id == next->id; }))
      m_ready[next->id] = std::move(inbox);
  }
}

}  // namespace Archive
