#pragma once
// What travels between machines: the user's actions, each stamped with a hybrid logical clock and
// the identity of the machine that made it; which of two actions on one thing wins; and the checks
// an action's values get, the ones the program gives the user's own input (a link the subscribe
// dialog would refuse, a guid no inbox could hold, text that is not UTF-8). How actions are
// written into the sync files is SyncFiles.h's.

#include "archive/SavedSearches.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Sync {

// A hybrid logical clock reading: wall-clock milliseconds, then a counter that orders actions
// within one millisecond or made while another machine's clock stood ahead of this one's.
struct Stamp {
  std::int64_t ms = 0;
  std::uint32_t counter = 0;
  auto operator<=>(const Stamp&) const = default;
};
// The latest stamp accepted: the end of the year 9999.
inline constexpr std::int64_t kMaxStampMs = 253'402'300'799'999;
// Another machine's clock moves this one's on by at most a day: a clock set years ahead must not
// carry every later action with it.
inline constexpr std::int64_t kClockLeadMs = std::int64_t{24} * 60 * 60 * 1000;

// The clock's next reading for an action made now: later than every reading before it.
Stamp NextStamp(Stamp clock, std::int64_t nowMs);
// The clock after seeing another machine's stamp, moved on by at most kClockLeadMs past now.
Stamp ObservedStamp(Stamp clock, Stamp seen, std::int64_t nowMs);

enum class Kind : char {
  Subscribe = 'A',
  Rename = 'T',
  Unsubscribe = 'X',
  Read = 'R',
  Unread = 'U',
  Delete = 'D',
  ReadUpTo = 'P',
  ReadAllUpTo = 'Q',
  SearchSaved = 'F',
  SearchRemoved = 'G',
};
bool IsSourceKind(Kind kind);   // A T X P
bool IsMessageKind(Kind kind);  // R U D

struct Action {
  Kind kind = Kind::Read;
  Stamp stamp;
  std::string machine;  // 32 lower-case hex digits
  std::string link;     // source and message kinds: the link as the subscription file stores it
  std::string text;     // the guid, the title or the search's name
  std::string query;    // SearchSaved
  Archive::Rule rule = Archive::Rule::None;
  bool operator==(const Action&) const = default;
};

// Which of two actions on the same thing wins: the later stamp, then the machine identity, then
// the kind and the text, so that every machine picks the same one whatever it read first.
bool Later(const Action& a, const Action& b);
std::strong_ordering CompareOrder(Stamp a, std::string_view machineA, Stamp b,
                                  std::string_view machineB);

// Limits of what an action may carry.
inline constexpr std::size_t kMaxGuidBytes = 4096;
inline constexpr std::size_t kMaxTitleBytes = 4096;
inline constexpr std::size_t kMaxQueryBytes = 10'000;

// A machine identity and a session token: 32 and 16 lower-case hex digits.
bool IsMachineId(std::string_view text);
bool IsToken(std::string_view text);

// The checks an action's values get, as the user's own input would. Empty when they pass, else
// the reason. On success `link` is replaced by the form the subscription file stores.
std::string CheckLink(std::string& link);
std::string CheckGuid(std::string_view guid);
std::string CheckTitle(std::string_view title);
std::string CheckSearch(std::string_view name, std::string_view query);

// A saved search's rule by name: none, read or delete.
std::string RuleText(Archive::Rule rule);
std::optional<Archive::Rule> ParseRule(std::string_view text);

}  // namespace Sync
