#include "inbox/UnreadCounts.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <atomic>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <utility>

namespace mInbox {

namespace {

constexpr const char* kCacheName = "counts.dat";
constexpr std::string_view kHeader = "quillpost-counts 1";

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t at = 0;;) {
    const std::size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
    if (tab == std::string_view::npos) return fields;
    at = tab + 1;
  }
}

struct Entry {
  FileStamp stamp;
  SourceCount count;
};

// One line per source: ID, the stamp's six fields, unread, total.
std::unordered_map<std::string, Entry> ReadCache(const std::string& path) {
  std::unordered_map<std::string, Entry> entries;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line) || line != kHeader) return entries;
  while (std::getline(in, line)) {
    const std::vector<std::string_view> f = Fields(line);
    Entry entry;
    int exists = 0;
    // A line that does not read whole is left out: its source is counted again.
    if (f.size() != 9 || f[0].empty() || !ParseNumber(f[1], exists) || exists < 0 || exists > 1 ||
        !ParseNumber(f[2], entry.stamp.size) || !ParseNumber(f[3], entry.stamp.modifiedNs) ||
        !ParseNumber(f[4], entry.stamp.changedNs) || !ParseNumber(f[5], entry.stamp.inode) ||
        !ParseNumber(f[6], entry.stamp.device) || !ParseNumber(f[7], entry.count.unread) ||
        !ParseNumber(f[8], entry.count.total) || entry.count.unread > entry.count.total)
      continue;
    entry.stamp.exists = exists == 1;
    entries.insert_or_assign(std::string(f[0]), entry);
  }
  return entries;
}

}  // namespace

SourceCount CountInboxFile(const std::string& path) {
  std::error_code ec;
  const IniDocument doc = IniDocument::Load(path, ec);
  SourceCount count;
  for (const std::string& guid : doc.SectionNames()) {
    ++count.total;
    // As the store reads the flag: anything but a clean 1 is unread.
    const std::optional<std::string> read = doc.GetValue(guid, "read");
    if (!read || cINI::CLngDefault(*read, 0) != 1) ++count.unread;
  }
  return count;
}

std::string CountsCacheFile() {
  const std::string folder = mAppFunctions::CacheFolder();
  return folder.empty() ? std::string() : mGeneralFunctions::AddBackslash(folder) + kCacheName;
}

class UnreadCounts::Impl {
 public:
  Impl(std::string dataFolder, std::string cacheFile)
      : m_dataFolder(std::move(dataFolder)),
        m_cacheFile(std::move(cacheFile)),
        m_stamps(Services::FileStamps()) {
    if (!m_cacheFile.empty()) m_cached = ReadCache(m_cacheFile);
  }

  ~Impl() {
    {
      std::lock_guard lock(m_mutex);
      m_stopping = true;
    }
    m_workToDo.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  struct Source {
    std::optional<Entry> known;
    // The cache's count, until the worker has compared its stamp with the file's.
    std::optional<Entry> cached;
    // The known count's stamp is taken again before it is written (the store changed the file).
    bool stampStale = false;
    // Rises with every change the store tells: a count queued before it is not taken.
    std::uint64_t generation = 0;
    // The generation of the job on its way through the worker; 0: none. One at a time.
    std::uint64_t inFlight = 0;
  };

  std::string InboxOf(const std::string& id) const {
    return mGeneralFunctions::AddBackslash(m_dataFolder) + id + "/inbox.dat";
  }

  void SetSources(const std::vector<std::string>& ids) {
    std::unordered_map<std::string, Source> kept;
    std::vector<std::string> order;
    for (const std::string& id : ids) {
      if (kept.contains(id)) continue;
      if (auto it = m_sources.find(id); it != m_sources.end()) {
        kept.emplace(id, std::move(it->second));
        order.push_back(id);
      }
    }
    // A count the file holds for a source that goes is left out of the next write.
    for (const auto& [id, source] : m_sources)
      if (!kept.contains(id) && (source.known || source.cached)) m_changed = true;
    m_sources = std::move(kept);
    m_order = std::move(order);
    AddSources(ids);
  }

  void AddSources(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
      if (m_sources.contains(id)) continue;
      Source& source = m_sources[id];
      source.generation = ++m_generations;
      m_order.push_back(id);
      // The cache's count is offered only for the very file it was counted from, and only once.
      if (auto cached = m_cached.find(id); cached != m_cached.end()) {
        source.cached = cached->second;
        m_cached.erase(cached);
      }
      if (!m_counting) {
        // No worker: the stamp is looked at here.
        if (source.cached && source.cached->stamp == m_stamps.Stamp(InboxOf(id)))
          source.known = source.cached;
        source.cached.reset();
        continue;
      }
      Queue(id, source);
    }
  }

  void RemoveSource(const std::string& id) {
    const auto it = m_sources.find(id);
    if (it == m_sources.end()) return;
    if (it->second.known || it->second.cached) m_changed = true;
    m_sources.erase(it);
    std::erase(m_order, id);
  }

  void QueueUnknown() {
    for (const std::string& id : m_order) {
      Source& source = m_sources.at(id);
      if (!source.known && source.inFlight == 0) Queue(id, source);
    }
  }

  void Queue(const std::string& id, Source& source) {
    if (!m_counting) return;
    source.inFlight = source.generation;
    {
      std::lock_guard lock(m_mutex);
      m_jobs.push_back({id, InboxOf(id), source.cached, source.generation});
      StartWorkerLocked();
    }
    m_workToDo.notify_one();
  }

  void StartWorkerLocked() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Work(); });
  }

  // The worker: a cached count holds while its stamp is the file's; otherwise the inbox is
  // counted between two equal stamps, so that no write falls inside. Writes of the cache come
  // first, and are still done when it is told to stop.
  void Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
      m_workToDo.wait(lock, [this] { return m_stopping || !m_jobs.empty() || m_write; });
      if (m_write) {
        const std::string text = std::move(*m_write);
        m_write.reset();
        const std::uint64_t ticket = m_writesAsked;
        lock.unlock();
        std::error_code ec;
        const bool written = AtomicFile::Replace(m_cacheFile, text, ec);
        lock.lock();
        m_writesDone = ticket;
        m_writeFailed = !written;
        m_written.notify_all();
        continue;
      }
      if (m_stopping) return;
      Job job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      Done done{std::move(job.id), std::nullopt, job.generation, false};
      if (job.cached && job.cached->stamp == m_stamps.Stamp(job.path)) {
        done.entry = job.cached;
        done.fromCache = true;
      }
      for (int attempt = 0; attempt < 3 && !done.entry; ++attempt) {
        const FileStamp before = m_stamps.Stamp(job.path);
        const SourceCount count = CountInboxFile(job.path);
        m_filesCounted.fetch_add(1, std::memory_order_relaxed);
        if (m_stamps.Stamp(job.path) == before) done.entry = Entry{before, count};
      }
      lock.lock();
      m_done.push_back(std::move(done));
      const std::function<void()> wake = m_wake;
      lock.unlock();
      m_counted.notify_all();
      if (wake) wake();
      lock.lock();
    }
  }

  void TakeCounted() {
    std::vector<Done> done;
    {
      std::lock_guard lock(m_mutex);
      done.swap(m_done);
    }
    for (Done& each : done) {
      auto it = m_sources.find(each.id);
      if (it == m_sources.end()) continue;
      Source& source = it->second;
      // A job of a source that was removed and added again meanwhile.
      if (each.generation != source.inFlight) continue;
      source.inFlight = 0;
      if (source.known) continue;
      // The store changed the inbox after the job was queued, or it kept changing under the
      // worker: counted again.
      if (each.generation != source.generation || !each.entry) {
        Queue(each.id, source);
        continue;
      }
      source.cached.reset();
      source.known = each.entry;
      if (!each.fromCache) m_changed = true;
      Tell(each.id);
    }
  }

  std::size_t Pending() const {
    std::size_t pending = 0;
    for (const auto& [id, source] : m_sources) pending += source.known ? 0 : 1;
    return pending;
  }

  bool WaitUntilCounted(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      TakeCounted();
      if (Pending() == 0) return true;
      std::unique_lock lock(m_mutex);
      if (m_done.empty() &&
          !m_counted.wait_until(lock, deadline, [this] { return !m_done.empty(); }))
        return false;
    }
  }

  // The store changed a source's inbox: a count queued before no longer holds.
  Source* Changed(const std::string& id) {
    auto it = m_sources.find(id);
    if (it == m_sources.end()) return nullptr;
    Source& source = it->second;
    source.generation = ++m_generations;
    source.cached.reset();
    if (!source.known) {
      // A job on its way is counted again when it comes back.
      if (source.inFlight == 0) Queue(id, source);
      return nullptr;
    }
    return &source;
  }

  // After the program changed the inbox: the count follows.
  void Adjust(const std::string& id, long unread, long total) {
    Source* source = Changed(id);
    if (!source) return;
    Entry& entry = *source->known;
    const long newUnread = static_cast<long>(entry.count.unread) + unread;
    const long newTotal = static_cast<long>(entry.count.total) + total;
    if (newUnread < 0 || newTotal < newUnread) {
      Forget(id, *source);
      return;
    }
    entry.count = {static_cast<std::size_t>(newUnread), static_cast<std::size_t>(newTotal)};
    source->stampStale = true;
    m_changed = true;
    Tell(id);
  }

  // The count is unknown until the inbox has been counted again.
  void Forget(const std::string& id, Source& source) {
    source.known.reset();
    source.stampStale = false;
    m_changed = true;
    Queue(id, source);
    Tell(id);
  }

  void Tell(const std::string& id) {
    if (m_onChanged) m_onChanged(id);
  }

  // The cache's text, or nothing when the file holds it already.
  std::optional<std::string> Text() {
    bool failed = false;
    {
      std::lock_guard lock(m_mutex);
      failed = m_writeFailed;
    }
    if (m_cacheFile.empty() || (!m_changed && !failed)) return std::nullopt;
    std::ostringstream out;
    out << kHeader << '\n';
    for (const std::string& id : m_order) {
      Source& source = m_sources.at(id);
      if (source.known && source.stampStale) {
        source.known->stamp = m_stamps.Stamp(InboxOf(id));
        source.stampStale = false;
      }
      // A cached count not yet compared with its file is kept as it was: it still says which
      // file it belongs to.
      const std::optional<Entry>& e = source.known ? source.known : source.cached;
      if (!e) continue;
      out << id << '\t' << (e->stamp.exists ? 1 : 0) << '\t' << e->stamp.size << '\t'
          << e->stamp.modifiedNs << '\t' << e->stamp.changedNs << '\t' << e->stamp.inode << '\t'
          << e->stamp.device << '\t' << e->count.unread << '\t' << e->count.total << '\n';
    }
    m_changed = false;
    return out.str();
  }

  bool Save(bool wait) {
    std::optional<std::string> text = Text();
    if (!text) return true;
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable() && !wait) StartWorkerLocked();
    if (!m_thread.joinable()) {
      // No worker to hand it to: written here.
      lock.unlock();
      std::error_code ec;
      const bool written = AtomicFile::Replace(m_cacheFile, *text, ec);
      lock.lock();
      m_writeFailed = !written;
      return written;
    }
    // One writer, in the order asked: a write waiting for the worker gives way to this newer one.
    m_write = std::move(text);
    const std::uint64_t ticket = ++m_writesAsked;
    lock.unlock();
    m_workToDo.notify_one();
    if (!wait) return true;
    lock.lock();
    m_written.wait(lock, [&] { return m_writesDone >= ticket; });
    return !m_writeFailed;
  }

  struct Job {
    std::string id;
    std::string path;
    std::optional<Entry> cached;
    std::uint64_t generation = 0;
  };
  struct Done {
    std::string id;
    std::optional<Entry> entry;
    std::uint64_t generation = 0;
    bool fromCache = false;
  };

  const std::string m_dataFolder;
  const std::string m_cacheFile;
  Services::IFileStamps& m_stamps;
  std::unordered_map<std::string, Entry> m_cached;
  std::unordered_map<std::string, Source> m_sources;
  std::vector<std::string> m_order;
  std::uint64_t m_generations = 0;
  bool m_counting = true;
  bool m_changed = false;
  std::function<void(const std::string&)> m_onChanged;
  std::atomic<std::size_t> m_filesCounted{0};

  // Shared with the worker.
  std::mutex m_mutex;
  std::condition_variable m_workToDo;
  std::condition_variable m_counted;
  std::condition_variable m_written;
  std::deque<Job> m_jobs;
  std::vector<Done> m_done;
  std::function<void()> m_wake;
  std::optional<std::string> m_write;
  std::uint64_t m_writesAsked = 0;
  std::uint64_t m_writesDone = 0;
  bool m_writeFailed = false;
  bool m_stopping = false;
  std::thread m_thread;
};

UnreadCounts::UnreadCounts(std::string dataFolder, std::string cacheFile)
    : m_impl(std::make_unique<Impl>(std::move(dataFolder), std::move(cacheFile))) {}

UnreadCounts::~UnreadCounts() = default;

void UnreadCounts::SetCounting(bool counting) {
  m_impl->m_counting = counting;
  if (counting) m_impl->QueueUnknown();
}

void UnreadCounts::SetSources(const std::vector<std::string>& ids) { m_impl->SetSources(ids); }

void UnreadCounts::AddSources(const std::vector<std::string>& ids) { m_impl->AddSources(ids); }

void UnreadCounts::RemoveSource(const std::string& id) { m_impl->RemoveSource(id); }

std::optional<SourceCount> UnreadCounts::Find(const std::string& id) const {
  auto it = m_impl->m_sources.find(id);
  if (it == m_impl->m_sources.end() || !it->second.known) return std::nullopt;
  return it->second.known->count;
}

std::size_t UnreadCounts::Pending() const { return m_impl->Pending(); }

std::size_t UnreadCounts::FilesCounted() const {
  return m_impl->m_filesCounted.load(std::memory_order_relaxed);
}

void UnreadCounts::SetWake(std::function<void()> wake) {
  std::lock_guard lock(m_impl->m_mutex);
  m_impl->m_wake = std::move(wake);
}

void UnreadCounts::TakeCounted() { m_impl->TakeCounted(); }

bool UnreadCounts::WaitUntilCounted(std::chrono::milliseconds timeout) {
  return m_impl->WaitUntilCounted(timeout);
}

void UnreadCounts::SetOnChanged(std::function<void(const std::string& id)> onChanged) {
  m_impl->m_onChanged = std::move(onChanged);
}

bool UnreadCounts::Save() { return m_impl->Save(true); }

void UnreadCounts::SaveInBackground() { m_impl->Save(false); }

void UnreadCounts::Stored(const std::string& sourceId, const std::vector<InboxItem>& items) {
  long unread = 0;
  for (const InboxItem& item : items) unread += item.read == 0 ? 1 : 0;
  m_impl->Adjust(sourceId, unread, static_cast<long>(items.size()));
}

void UnreadCounts::ReadChanged(const std::string& sourceId, const std::string&, bool read) {
  m_impl->Adjust(sourceId, read ? -1 : 1, 0);
}

void UnreadCounts::Deleted(const std::string& sourceId, const std::string&) {
  // Whether the message was unread is not said: the inbox is counted again.
  if (Impl::Source* source = m_impl->Changed(sourceId)) m_impl->Forget(sourceId, *source);
}

void UnreadCounts::SourceRemoved(const std::string& sourceId) { m_impl->RemoveSource(sourceId); }

}  // namespace mInbox
