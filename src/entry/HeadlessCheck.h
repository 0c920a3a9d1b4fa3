#pragma once
// A check of all sources without any window, for cron jobs and timers. It runs the same logic
// as the menu's "Check All Sources"; only the services differ: message boxes go to standard
// error and the summary to standard output.

#include <iosfwd>

namespace HeadlessCheck {

enum ExitStatus : int {
  AllChecked = 0,     // every source fetched and parsed
  SomeFailed = 1,     // the run finished, but some source failed
  NoRunPossible = 2,  // another instance runs, the subscription file is missing or damaged, offline
};

// Checks every source of the data folder in the subscription file's order.
int Run(std::ostream& out);

}  // namespace HeadlessCheck
