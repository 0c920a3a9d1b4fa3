#pragma once
// Saved searches, kept in the data folder's searches.dat (INI, rewritten atomically): each has a
// name, the query as typed and an optional rule for arriving messages. A hand-damaged file loses
// nothing else: what can be read is kept, the rest is left out.

#include "archive/Query.h"
#include "archive/SearchIndex.h"
#include "inbox/InboxEvents.h"

#include <functional>
#include <string>
#include <vector>

namespace Archive {

enum class Rule { None, MarkRead, Delete };

struct SavedSearch {
  std::string name;   // unique, compared without letter case
  std::string query;  // as typed
  Rule rule = Rule::None;
  bool operator==(const SavedSearch&) const = default;
};

// The data folder's searches, in their order. A missing file is an empty list. The file holds a
// section per search, named by it, with the keys query and rule ("mark read" or "delete"); a
// section without a query is left out, an unknown rule reads as none.
std::vector<SavedSearch> LoadSavedSearches();
// False when the file could not be written (it stays as it was), or when a name is empty or
// another one's without letter case. Line breaks in names and queries become blanks, blanks around
// them go.
bool SaveSavedSearches(const std::vector<SavedSearch>& searches);
std::string SavedSearchesPath();
// Whether a search may be saved under that name beside the others: not empty, and no other one's
// without letter case.
bool NameIsFree(const std::vector<SavedSearch>& searches, const std::string& name);

// The rules of the saved searches for arriving messages (mInbox::IArrivalRules): in the order of
// the searches, each seeing what the ones before did (a message marked read no longer passes
// is:unread); a message a Delete rule takes is refused whatever else applies, so Delete wins over
// Mark as Read. sourceTitle gives a source's title by its ID.
class SearchRules : public mInbox::IArrivalRules {
 public:
  explicit SearchRules(std::function<std::string(const std::string& sourceId)> sourceTitle);
  // Reads searches.dat again (after the user changed the searches).
  void Reload();
  void Arriving(const std::string& sourceId, std::vector<mInbox::InboxItem>& items,
                std::vector<std::string>& deleted) override;

 private:
  std::function<std::string(const std::string&)> m_sourceTitle;
  std::vector<std::pair<Rule, Query>> m_rules;
};

}  // namespace Archive
