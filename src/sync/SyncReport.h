#pragma once
// What a merge (or turning sync on) did, for the caller to show and follow.

#include <cstddef>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Sync {

struct Report {
  // Files skipped and items refused, and anything that failed: for standard error under
  // --sync, the debug output otherwise.
  std::vector<std::string> lines;
  std::size_t refused = 0;               // items refused
  bool failed = false;                   // sync is off, the folder or a file here could not be used
  bool subscriptionsChanged = false;     // sources added, renamed or removed: reload the tree
  std::set<std::string> inboxesChanged;  // IDs of the sources whose messages changed
  bool searchesChanged = false;
  // For --sync: 0 merged, 1 merged but some items refused, 2 error.
  int ExitStatus() const { return failed ? 2 : refused > 0 ? 1 : 0; }
  void Fail(std::string line) {
    failed = true;
    lines.push_back(std::move(line));
  }
  void Take(Report&& other) {
    lines.insert(lines.end(), std::make_move_iterator(other.lines.begin()),
                 std::make_move_iterator(other.lines.end()));
    refused += other.refused;
    failed = failed || other.failed;
    subscriptionsChanged = subscriptionsChanged || other.subscriptionsChanged;
    inboxesChanged.merge(other.inboxesChanged);
    searchesChanged = searchesChanged || other.searchesChanged;
  }
};

}  // namespace Sync
