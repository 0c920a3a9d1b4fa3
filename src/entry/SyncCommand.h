#pragma once
// quillpost --sync, without any window: one merge with the sync folder, then exit. A line on
// standard error for each file skipped or item refused, one line on standard output saying what
// changed; the exit status is 0 merged, 1 merged but some items refused, 2 error (sync off, the
// folder unusable, the data folder busy). While a reader runs on the data folder it merges and its
// tree follows; the command prints its answer.
//
// A check without windows merges too: at its start, and before and after its run.

#include "entry/HeadlessCheck.h"
#include "sync/SyncEngine.h"

#include <functional>
#include <iosfwd>
#include <string>

namespace SyncCommand {

int Run(std::ostream& out, std::ostream& err, const HeadlessCheck::AskReader& askReader = {});

// Held by a check that holds the data folder: merges now, and around each run of the check. The
// report lines go to debug (the debug output).
class DuringCheck {
 public:
  explicit DuringCheck(std::function<void(const std::string&)> debug);
  ~DuringCheck();
  DuringCheck(const DuringCheck&) = delete;
  DuringCheck& operator=(const DuringCheck&) = delete;

 private:
  void Tell(const Sync::Report& report);

  std::function<void(const std::string&)> m_debug;
  Sync::Engine m_engine;
};

}  // namespace SyncCommand
