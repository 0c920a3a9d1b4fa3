#pragma once
// How many messages, and how many unread, each source's inbox holds, known at start without
// reading the inboxes: a derived, disposable cache in the data folder's cache folder. A count is
// kept with the stamp (FileStamp.h) of the inbox.dat it was counted from and is trusted only while
// the file still has that stamp; the store's notifications keep it current as the program changes
// the inboxes, each with work for that one source. A source whose count cannot be trusted is
// counted again on a worker thread, and its count is known once that is done (TakeCounted).
//
// The cache file is replaced atomically. Since every count is tied to its file's stamp, a cache
// left behind by a kill is used where the stamps still hold and counted again where they do not:
// never taken for a count that it is not.
//
// Threads: everything runs on the owner's thread, except the worker's part: looking at the
// stamps of the cached counts, counting, writing the cache, and the wake-up callback. With
// counting off there is no worker and the stamps are looked at on the owner's thread.

#include "inbox/InboxEvents.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mInbox {

struct SourceCount {
  std::size_t unread = 0;
  std::size_t total = 0;
  bool operator==(const SourceCount&) const = default;
};

// Counts an inbox file as the message tree lists it (ListMessages): one message per section name,
// unread unless its flag reads 1; a missing or unreadable file holds nothing. Any thread.
SourceCount CountInboxFile(const std::string& path);

// The cache file in the data folder's cache folder; empty when there is none.
std::string CountsCacheFile();

class UnreadCounts : public IInboxListener {
 public:
  // A source's inbox is dataFolder/ID/inbox.dat; an empty cacheFile keeps no cache. Stamps come
  // from Services::FileStamps.
  UnreadCounts(std::string dataFolder, std::string cacheFile);
  // Ends the worker: a count under way is finished first, a write handed to it is done.
  ~UnreadCounts() override;
  UnreadCounts(const UnreadCounts&) = delete;
  UnreadCounts& operator=(const UnreadCounts&) = delete;

  // Off: sources whose count cannot be trusted stay unknown instead of being counted (a short
  // run without windows leaves that to the next reader). On by default.
  void SetCounting(bool counting);
  // The sources to keep counts of, at start. A new one takes its count from the cache when its
  // stamp holds, and is counted otherwise; sources left out are forgotten.
  void SetSources(const std::vector<std::string>& ids);
  // Sources subscribed to since: as SetSources does with a new one. Known ones stay as they are.
  void AddSources(const std::vector<std::string>& ids);
  // A source no longer subscribed to: its count is forgotten.
  void RemoveSource(const std::string& id);
  std::optional<SourceCount> Find(const std::string& id) const;
  // How many sources wait for their count.
  std::size_t Pending() const;
  // How many inbox files were read to count them (a start whose cache holds reads none).
  std::size_t FilesCounted() const;

  // Called on the worker thread after each count; the owner then calls TakeCounted on its own.
  void SetWake(std::function<void()> wake);
  // Takes the worker's counts of inboxes the store has not changed since they were queued (the
  // others are counted again); tells the change listener of each.
  void TakeCounted();
  // Takes counts as they come until none is pending; false when the time ran out first.
  bool WaitUntilCounted(std::chrono::milliseconds timeout);

  // Called on the owner's thread when a source's count changed or became known.
  void SetOnChanged(std::function<void(const std::string& id)> onChanged);

  // Writes the cache when a count changed since it was read or last written, and waits for it;
  // false when it could not be written.
  bool Save();
  // The same, written by the worker while the owner goes on.
  void SaveInBackground();

  void Stored(const std::string& sourceId, const std::vector<InboxItem>& items) override;
  void ReadChanged(const std::string& sourceId, const std::string& guid, bool read) override;
  void Deleted(const std::string& sourceId, const std::string& guid) override;
  void SourceRemoved(const std::string& sourceId) override;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace mInbox
