#pragma once
// state.dat beside a source's inbox: the HTTP validators of the last answer stored, what proves
// that the inbox still holds what it held then, and the guids of the messages the user deleted
// with the day each was last seen. A small INI file, rewritten whole and atomically. Losing it
// costs one full download and lets deleted messages back once; inbox.dat keeps its own format.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace SourceState {

struct Validators {
  std::string etag;
  std::string lastModified;
  bool Empty() const { return etag.empty() && lastModified.empty(); }
  bool operator==(const Validators&) const = default;
};

// Which messages an inbox holds, told by their guids, letter case aside: their number and a
// digest that does not depend on their order. A message more, one less or another one shows.
struct Holding {
  std::uint64_t count = 0;
  std::uint64_t digest = 0;
  void Add(std::string_view guid);
  void Remove(std::string_view guid);
  bool operator==(const Holding&) const = default;
};

// A message the user deleted: its guid as the inbox names it, and the day (since 1970, UTC) it
// was last seen, set when a full answer first lacks it. None while the latest full answer
// carried it: it counts as seen today.
struct Deletion {
  std::string guid;
  std::optional<std::int32_t> lastSeen;
  bool operator==(const Deletion&) const = default;
};

struct State {
  Validators validators;
  // What the inbox held when the validators were recorded, less the messages deleted since.
  std::optional<Holding> holding;
  // Oldest deletion first.
  std::vector<Deletion> deleted;
  bool operator==(const State&) const = default;
};

// What a full answer tells of its version, as the server sent it.
struct Answer {
  std::string etag;
  std::string lastModified;
  std::string date;
};

// An HTTP date in seconds since 1970: the usual form "Sun, 06 Nov 1994 08:49:37 GMT" and the two
// obsolete ones ("Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"); none for any
// other text. A two-digit year is the latest one that is not more than 50 years after nowMs.
std::optional<std::int64_t> HttpDateSeconds(std::string_view text, std::int64_t nowMs);

// The validators worth recording from a full answer that arrived at arrivalMs. The ETag is kept
// as sent. The Last-Modified only when it lies at least a second before the answer's Date (or,
// without one, before its arrival): a change later in its second would carry the same date, and
// the server would answer it with 304 until the feed changed again. A date that cannot be read
// keeps no Last-Modified.
Validators ValidatorsToRecord(const Answer& answer, std::int64_t arrivalMs);

// Deleted guids are forgotten once full answers have lacked them for this many days, so that an
// empty or shortened feed on a server's bad day brings none of them back.
constexpr std::int32_t kDeletionMemoryDays = 30;
// At most this many deleted guids that the feed no longer carries are kept; those last seen
// earliest go first. The ones the feed carries are always kept.
constexpr std::size_t kMaxGoneDeletions = 1000;

// Brings the deletions up to date with a full answer that carries these guids (lower case) on
// that day: a carried guid is seen today; one lacking is stamped with today when first missed
// and forgotten after kDeletionMemoryDays. An answer that carries no guid at all (an empty
// channel) changes nothing, as does a 304 or a failure, where this is not called.
void UpdateDeletions(std::vector<Deletion>& deleted,
                     const std::unordered_set<std::string>& carriedLower, std::int32_t today);

// The day (since 1970, UTC) of a time in milliseconds since 1970.
std::int32_t DayOf(std::int64_t ms);

// The state of a source, by its identifier, under the source's lock (mInbox::LockSource). A
// missing file reads as an empty state; a damaged one keeps nothing that cannot be trusted
// (validators without a readable holding).
State Load(const std::string& sourceId);
// Writes it atomically; an empty state removes the file. False when that failed.
bool Save(const std::string& sourceId, const State& state);

// The validators to send for the source: the stored ones while its inbox still holds what it
// held when they were recorded, none otherwise (a restored, trimmed or missing inbox then gets
// the whole feed again).
Validators ValidatorsToSend(const std::string& sourceId);

// Records the deletion of messages that the source's inbox holds, before the inbox changes: a
// kill between the two writes can then only keep a message, never bring a deleted one back. The
// validators stay good. False when the state could not be written.
bool RecordDeletions(const std::string& sourceId, const std::vector<std::string>& guids);
bool RecordDeletion(const std::string& sourceId, std::string_view guid);

}  // namespace SourceState
