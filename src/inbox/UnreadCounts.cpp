#include "inbox/UnreadCounts.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AtomicFile.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

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
    bool queued = false;
  };

  std::string InboxOf(const std::string& id) const {
    return mGeneralFunctions::AddBackslash(m_dataFolder) + id + "/inbox.dat";
  }

  void SetSources(const std::vector<std::string>& ids) {
    std::unordered_map<std::string, Source> sources;
    for (const std::string& id : ids) {
      if (sources.contains(id)) continue;
      if (auto it = m_sources.find(id); it != m_sources.end()) {
        sources.emplace(id, std::move(it->second));
        continue;
      }
      Source& source = sources[id];
      // The cache's count is taken only for the very file it was counted from, and only once.
      if (auto cached = m_cached.find(id); cached != m_cached.end()) {
        if (cached->second.stamp == m_stamps.Stamp(InboxOf(id))) source.known = cached->second;
        m_cached.erase(cached);
      }
    }
    if (sources.size() != m_sources.size()) m_changed = true;
    m_sources = std::move(sources);
    m_order = ids;
    QueueUnknown();
  }

  void QueueUnknown() {
    if (!m_counting) return;
    for (const std::string& id : m_order) {
      auto it = m_sources.find(id);
      if (it != m_sources.end() && !it->second.known && !it->second.queued) Queue(id, it->second);
    }
  }

  void Queue(const std::string& id, Source& source) {
    if (!m_counting) return;
    source.queued = true;
    {
      std::lock_guard lock(m_mutex);
      m_jobs.push_back({id, InboxOf(id)});
      if (!m_thread.joinable()) m_thread = std::thread([this] { Work(); });
    }
    m_workToDo.notify_one();
  }

  // The worker: counts an inbox between two equal stamps, so that no write falls inside.
  void Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
      m_workToDo.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_stopping) return;
      Job job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      std::optional<Entry> entry;
      for (int attempt = 0; attempt < 3 && !entry; ++attempt) {
        const FileStamp before = m_stamps.Stamp(job.path);
        const SourceCount count = CountInboxFile(job.path);
        if (m_stamps.Stamp(job.path) == before) entry = Entry{before, count};
      }
      lock.lock();
      m_done.push_back({std::move(job.id), entry});
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
      source.queued = false;
      if (source.known) continue;
      // The inbox may have changed since it was counted: then it is counted again.
      if (!each.entry || each.entry->stamp != m_stamps.Stamp(InboxOf(each.id))) {
        Queue(each.id, source);
        continue;
      }
      source.known = each.entry;
      m_changed = true;
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

  // After the program changed the inbox: the count follows and takes the file's new stamp.
  void Adjust(const std::string& id, long unread, long total) {
    auto it = m_sources.find(id);
    if (it == m_sources.end() || !it->second.known) return;
    Entry& entry = *it->second.known;
    const long newUnread = static_cast<long>(entry.count.unread) + unread;
    const long newTotal = static_cast<long>(entry.count.total) + total;
    if (newUnread < 0 || newTotal < newUnread) {
      Forget(id, it->second);
      return;
    }
    entry.count = {static_cast<std::size_t>(newUnread), static_cast<std::size_t>(newTotal)};
    entry.stamp = m_stamps.Stamp(InboxOf(id));
    m_changed = true;
    Tell(id);
  }

  // The count is unknown until the inbox has been counted again.
  void Forget(const std::string& id, Source& source) {
    source.known.reset();
    m_changed = true;
    if (!source.queued) Queue(id, source);
    Tell(id);
  }

  void Tell(const std::string& id) {
    if (m_onChanged) m_onChanged(id);
  }

  bool Save() {
    if (m_cacheFile.empty() || !m_changed) return true;
    std::ostringstream out;
    out << kHeader << '\n';
    for (const std::string& id : m_order) {
      auto it = m_sources.find(id);
      if (it == m_sources.end() || !it->second.known) continue;
      const Entry& e = *it->second.known;
      out << id << '\t' << (e.stamp.exists ? 1 : 0) << '\t' << e.stamp.size << '\t'
          << e.stamp.modifiedNs << '\t' << e.stamp.changedNs << '\t' << e.stamp.inode << '\t'
          << e.stamp.device << '\t' << e.count.unread << '\t' << e.count.total << '\n';
    }
    std::error_code ec;
    if (!AtomicFile::Replace(m_cacheFile, out.str(), ec)) return false;
    m_changed = false;
    return true;
  }

  struct Job {
    std::string id;
    std::string path;
  };
  struct Done {
    std::string id;
    std::optional<Entry> entry;
  };

  const std::string m_dataFolder;
  const std::string m_cacheFile;
  Services::IFileStamps& m_stamps;
  std::unordered_map<std::string, Entry> m_cached;
  std::unordered_map<std::string, Source> m_sources;
  std::vector<std::string> m_order;
  bool m_counting = true;
  bool m_changed = false;
  std::function<void(const std::string&)> m_onChanged;

  // Shared with the worker.
  std::mutex m_mutex;
  std::condition_variable m_workToDo;
  std::condition_variable m_counted;
  std::deque<Job> m_jobs;
  std::vector<Done> m_done;
  std::function<void()> m_wake;
  bool m_stopping = false;
  std::thread m_thread;
};

UnreadCounts::UnreadCounts(std::string dataFolder, std::string cacheFile)
    : m_impl(std::make_unique<Impl>(std::move(dataFolder), std::move(cacheFile))) {}

UnreadCounts::~UnreadCounts() = default;

void UnreadCounts::SetCounting(bool counting) {
  m_impl->m_counting = counting;
  m_impl->QueueUnknown();
}

void UnreadCounts::SetSources(const std::vector<std::string>& ids) { m_impl->SetSources(ids); }

std::optional<SourceCount> UnreadCounts::Find(const std::string& id) const {
  auto it = m_impl->m_sources.find(id);
  if (it == m_impl->m_sources.end() || !it->second.known) return std::nullopt;
  return it->second.known->count;
}

std::size_t UnreadCounts::Pending() const { return m_impl->Pending(); }

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

bool UnreadCounts::Save() { return m_impl->Save(); }

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
  auto it = m_impl->m_sources.find(sourceId);
  if (it != m_impl->m_sources.end() && it->second.known) m_impl->Forget(sourceId, it->second);
}

void UnreadCounts::SourceRemoved(const std::string& sourceId) {
  if (m_impl->m_sources.erase(sourceId) > 0) m_impl->m_changed = true;
  std::erase(m_impl->m_order, sourceId);
}

}  // namespace mInbox
