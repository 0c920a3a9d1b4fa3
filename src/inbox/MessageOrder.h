#pragma once
// Where a stored message stands in time, as the message tree orders a source's messages: its day
// as the date text names it, then its time in UTC within that day.

#include <cstdint>
#include <optional>
#include <string_view>

namespace mInbox {

struct MessageTime {
  std::optional<std::int32_t> day;      // DayNumber of the date text
  std::optional<std::int64_t> seconds;  // the time of day minus the zone; none when unreadable
};

// "09:18:46" or "09:18" with "+0100", "-0500", "GMT" or a North American zone name; a zone that
// cannot be read counts as UTC (a missing zone is stored as the time).
MessageTime TimeOf(std::string_view date, std::string_view time, std::string_view zone);

}  // namespace mInbox
