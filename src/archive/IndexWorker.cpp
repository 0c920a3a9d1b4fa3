#include "archive/IndexWorker.h"

#include <utility>

namespace Archive {

using namespace std::chrono_literals;

IndexWorker::IndexWorker(std::string file, std::string dataFolder, Sql::Database write)
    : m_dataFolder(dataFolder),
      m_writer(std::move(file), dataFolder, std::move(write)),
      m_readAhead(dataFolder),
      m_thread([this] { Work(); }) {}

IndexWorker::~IndexWorker() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

std::string IndexWorker::Key(const std::string& sourceId, const std::string& guid) {
  return sourceId + '\n' + guid;
}

void IndexWorker::SetSources(const std::vector<SourceRef>& sources, bool rebuildStale) {
  {
    std::lock_guard lock(m_mutex);
    const bool listChanged = m_listed.Set(sources);
    if (!listChanged && m_rebuildStale == rebuildStale) return;
    m_rebuildStale = rebuildStale;
  }
  m_wake.notify_all();
}

void IndexWorker::Tell(Change change) {
  change.stamp = InboxText::StampOf(InboxText::InboxFile(m_dataFolder, change.sourceId));
  {
    std::lock_guard lock(m_mutex);
    if (change.kind == Change::Kind::Read || change.kind == Change::Kind::Deleted) {
      Told& told = m_told[Key(change.sourceId, change.guid)];
      told.read =
          change.kind == Change::Kind::Read ? std::optional<bool>(change.read) : std::nullopt;
      ++told.waiting;
    }
    m_changes.push_back(std::move(change));
  }
  m_wake.notify_all();
}

Progress IndexWorker::Indexing() const {
  std::lock_guard lock(m_mutex);
  return m_listed.Indexing();
}

bool IndexWorker::Settled() const {
  return m_listed.Indexing().pending == 0 && m_changes.empty() && m_busyChanges == 0;
}

bool IndexWorker::WaitUntilCurrent(std::chrono::milliseconds timeout,
                                   const std::function<void(const Progress&)>& progress) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(m_mutex);
  // Someone waits: changes are written without waiting for more.
  ++m_waiting;
  m_wake.notify_all();
  std::optional<Progress> told;
  bool current = false;
  for (;;) {
    const Progress now = m_listed.Indexing();
    // Sources still being compared with their inbox files are no indexing to tell of yet.
    if (progress && told != now && now.checking == 0) {
      told = now;
      lock.unlock();
      progress(now);
      lock.lock();
      continue;
    }
    if (Settled()) {
      current = true;
      break;
    }
    // Without rebuilding nothing more happens once the sources are checked and changes written.
    if (!m_rebuildStale && !m_listed.AnyUnchecked() && m_changes.empty() && m_busyChanges == 0)
      break;
    if (m_settled.wait_until(lock, deadline) == std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline)
      break;
  }
  --m_waiting;
  return current;
}

bool IndexWorker::Flush(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  ++m_waiting;
  m_wake.notify_all();
  const bool written =
      m_settled.wait_for(lock, timeout, [this] { return m_changes.empty() && m_busyChanges == 0; });
  --m_waiting;
  return written;
}

void IndexWorker::SetOnChange(std::function<void()> onChange) {
  std::lock_guard lock(m_mutex);
  m_onChange = std::move(onChange);
}

IndexWorker::View IndexWorker::Current() const {
  std::lock_guard lock(m_mutex);
  View view;
  view.sources = m_listed.CurrentSources();
  for (const auto& [key, told] : m_told) view.told.emplace(key, told.read);
  return view;
}

void IndexWorker::Damaged() {
  {
    std::lock_guard lock(m_mutex);
    m_damaged = true;
    m_listed.MarkAllStale(false);
  }
  m_wake.notify_all();
}

bool IndexWorker::TakeReplaced() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_replaced, false);
}

std::optional<std::string> IndexWorker::NextStale() const {
  if (!m_rebuildStale || m_stop) return std::nullopt;
  return m_listed.FirstStale();
}

void IndexWorker::Work() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] {
      return m_stop || m_damaged || !m_changes.empty() || m_listed.AnyUnchecked() || NextStale();
    });
    if (m_damaged && !m_stop) {
      m_damaged = false;
      lock.unlock();
      Restart(true);
      lock.lock();
    } else if (!m_stop && m_listed.AnyUnchecked()) {
      CheckListed(lock);
    } else if (!m_changes.empty()) {
      ApplyChanges(lock);
    } else if (m_stop) {
      return;
    } else if (const std::optional<std::string> next = NextStale()) {
      IndexNext(lock, *next);
    } else {
      continue;
    }
    Changed(lock);
  }
}

// What is needed to know whether a source is current: its row's stamp against its inbox file's.
void IndexWorker::CheckListed(std::unique_lock<std::mutex>& lock) {
  const std::vector<std::string> ids = m_listed.Unchecked();
  lock.unlock();
  std::unordered_map<std::string, IndexWriter::Indexed> indexed;
  const bool read = Attempt([&] { indexed = m_writer.Sources(); });
  struct Checked {
    std::optional<std::int64_t> sid;
    bool inIndex;
  };
  std::vector<Checked> checked;
  for (const std::string& id : ids) {
    const auto found = read ? indexed.find(id) : indexed.end();
    const bool current =
        found != indexed.end() &&
        found->second.stamp == InboxText::StampOf(InboxText::InboxFile(m_dataFolder, id)).text;
    checked.push_back(
        {current ? std::optional(found->second.sid) : std::nullopt, found != indexed.end()});
  }
  lock.lock();
  for (std::size_t i = 0; i < ids.size(); ++i)
    m_listed.Checked(ids[i], checked[i].sid, checked[i].inIndex);
  std::vector<std::string> unlisted;
  for (const auto& [id, row] : indexed)
    if (!m_listed.Listed(id)) unlisted.push_back(id);
  lock.unlock();
  // Unsubscribed while no reader ran: the inbox is gone with its folder.
  std::erase_if(unlisted, [this](const std::string& id) {
    return InboxText::StampOf(InboxText::InboxFile(m_dataFolder, id)).text != "none";
  });
  if (!unlisted.empty()) Attempt([&] { m_writer.Forget(unlisted); });
  lock.lock();
}

void IndexWorker::ApplyChanges(std::unique_lock<std::mutex>& lock) {
  // Changes come in bursts (a check stores one source after another): each transaction costs a
  // part of the text index of its own, so what comes within a moment goes in one.
  m_wake.wait_for(lock, 150ms, [this] { return m_stop || m_waiting > 0; });
  std::vector<Change> changes(std::make_move_iterator(m_changes.begin()),
                              std::make_move_iterator(m_changes.end()));
  m_changes.clear();
  m_busyChanges = changes.size();
  for (const Change& change : changes)
    if (change.kind == Change::Kind::Removed) m_listed.MarkStale(change.sourceId);
  lock.unlock();
  const bool done = Attempt([&] {
    m_writer.Apply(changes, [this](const std::string& id) {
      std::lock_guard current(m_mutex);
      return m_listed.CurrentSid(id);
    });
  });
  bool afresh = false;
  if (done) Attempt([&] { afresh = m_writer.TidyIfNeeded(); });
  lock.lock();
  if (afresh) m_listed.MarkAllStale(true);
  for (const Change& change : changes) {
    // What was told is lost with the transaction: those sources are indexed anew.
    if (!done) m_listed.MarkStale(change.sourceId);
    if (change.kind != Change::Kind::Read && change.kind != Change::Kind::Deleted) continue;
    const auto told = m_told.find(Key(change.sourceId, change.guid));
    if (told != m_told.end() && --told->second.waiting <= 0) m_told.erase(told);
  }
  m_busyChanges = 0;
}

void IndexWorker::IndexNext(std::unique_lock<std::mutex>& lock, const std::string& id) {
  std::vector<ReadAhead::Next> plan;
  for (const std::string& stale : m_listed.Stale())
    if (stale != id) plan.push_back({stale, !m_listed.InIndex(stale)});
  lock.unlock();
  // Taken before the plan moves on, which drops what was read of sources not in it.
  std::optional<InboxText::Inbox> inbox = m_readAhead.Take(id);
  m_readAhead.Plan(std::move(plan));
  const std::string path = InboxText::InboxFile(m_dataFolder, id);
  if (!inbox || InboxText::StampOf(path) != inbox->stamp)
    inbox = InboxText::ReadStable(path, false);
  std::optional<std::int64_t> sid;
  bool failed = false;
  if (inbox) {
    failed = !Attempt([&] {
      sid = m_writer.Rebuild(id, *inbox, [this] {
        std::lock_guard stopping(m_mutex);
        return m_stop;
      });
    });
  }
  // Current only while the file is still the one indexed; a later change was told, or is found
  // next time.
  const bool settled = sid && InboxText::StampOf(path) == inbox->stamp;
  bool afresh = false;
  if (settled) Attempt([&] { afresh = m_writer.TidyIfNeeded(); });
  lock.lock();
  if (afresh) {
    m_listed.MarkAllStale(true);
  } else if (settled) {
    m_listed.MarkCurrent(id, *sid);
  } else if (!m_stop) {
    // A file that keeps changing, or a failure: tried again a little later, others first.
    m_listed.PutBack(id);
    m_wake.wait_for(lock, failed ? 500ms : 20ms);
  }
}

template <typename F>
bool IndexWorker::Attempt(F&& work) {
  if (!m_writer.Usable()) Restart(true);
  if (!m_writer.Usable()) return false;
  try {
    work();
    return true;
  } catch (const Abandoned&) {
    return false;
  } catch (const Sql::Error& error) {
    if (error.Damaged()) Restart(true);
    return false;
  }
}

void IndexWorker::Restart(bool damaged) {
  m_writer.StartAfresh(damaged);
  std::lock_guard lock(m_mutex);
  m_listed.MarkAllStale(true);
  if (damaged) m_replaced = true;
}

void IndexWorker::Changed(std::unique_lock<std::mutex>& lock) {
  const std::function<void()> onChange = m_onChange;
  lock.unlock();
  m_settled.notify_all();
  if (onChange) onChange();
  lock.lock();
}

}  // namespace Archive
