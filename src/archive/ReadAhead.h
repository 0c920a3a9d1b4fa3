#pragma once
// Reads the inboxes of the sources the index's worker indexes next, on a thread of its own, so
// that building an index keeps both cores busy: the worker takes an inbox read ahead when there
// is one and reads it itself otherwise. For a source the index holds nothing of, the texts to
// index are made ahead too.

#include "archive/InboxText.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace Archive {

class ReadAhead {
 public:
  explicit ReadAhead(std::string dataFolder);
  ~ReadAhead();

  struct Next {
    std::string id;
    bool fresh = false;  // the index holds none of its messages
  };
  // The sources the worker indexes after the one it is at, in order; what was read of others is
  // dropped.
  void Plan(std::vector<Next> next);
  // The source's inbox as read ahead; the caller checks that the file is still that version.
  std::optional<InboxText::Inbox> Take(const std::string& id);

 private:
  void Run();

  const std::string m_dataFolder;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::vector<Next> m_plan;
  // Read, or given up (a file too large to hold twice): left to the worker.
  std::unordered_map<std::string, std::optional<InboxText::Inbox>> m_ready;
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace Archive
