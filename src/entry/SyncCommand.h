#pragma once
// quillpost --sync, without any window: one merge with the sync folder, then exit. A line on
// standard error for each file skipped or item refused, one line on standard output saying what
// changed; the exit status is 0 merged, 1 merged but some items refused, 2 error (sync off, the
// folder unusable, the data folder busy). While a reader runs on the data folder it merges and its
// tree follows; the command prints its answer.
//
// The other commands that change the data folder without windows (a check, an import) merge too:
// at their start, and a check before and after its run; what they change is logged for the others.

#include "entry/HeadlessCheck.h"
#include "sync/SyncEngine.h"

#include <functional>
#include <iosfwd>
#include <string>

namespace SyncCommand {

int Run(std::ostream& out, std::ostream& err, const HeadlessCheck::AskReader& askReader = {});

// Held by a command while it holds the data folder: merges now, logs what the command changes,
// and merges around each check run. The report lines go to debug (the debug output).
class Session {
 public:
  explicit Session(std::function<void(const std::string&)> debug = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  void Tell(const Sync::Report& report);

  std::function<void(const std::string&)> m_debug;
  Sync::Engine m_engine;
};

}  // namespace SyncCommand
