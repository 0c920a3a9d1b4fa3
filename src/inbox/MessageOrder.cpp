#include "inbox/MessageOrder.h"

#include "core/AsciiText.h"
#include "inbox/InboxTree.h"

#include <array>
#include <string_view>
#include <utility>

namespace mInbox {

namespace {

std::optional<int> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Seconds after midnight of "09:18:46" or "09:18"; no value for anything else.
std::optional<std::int64_t> SecondsOfDay(std::string_view text) {
  text = AsciiText::Trim(text);
  std::int64_t seconds = 0;
  int parts = 0;
  for (std::size_t pos = 0; pos <= text.size(); ++parts) {
    const std::size_t end = std::min(text.find(':', pos), text.size());
    const std::optional<int> value = end - pos == 2 ? Number(text.substr(pos, 2)) : std::nullopt;
    if (!value || parts == 3 || *value >= (parts == 0 ? 24 : 60)) return std::nullopt;
    seconds = seconds * 60 + *value;
    pos = end + 1;
  }
  if (parts == 2) seconds *= 60;
  return parts >= 2 ? std::optional(seconds) : std::nullopt;
}

// How far the zone is ahead of UTC, in seconds: "+0100", "-0500" or a North American name; any
// other text (a missing zone is stored as the time) counts as UTC.
std::int64_t ZoneSeconds(std::string_view zone) {
  zone = AsciiText::Trim(zone);
  if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-')) {
    const std::optional<int> hours = Number(zone.substr(1, 2));
    const std::optional<int> minutes = Number(zone.substr(3, 2));
    if (hours && minutes) return (zone[0] == '-' ? -60 : 60) * (*hours * 60 + *minutes);
    return 0;
  }
  static constexpr std::pair<std::string_view, int> kNames[] = {
      {"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
      {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
  for (const auto& [name, hours] : kNames)
    if (AsciiText::EqualsNoCase(zone, name)) return hours * 3600;
  return 0;
}

}  // namespace

MessageTime TimeOf(std::string_view date, std::string_view time, std::string_view zone) {
  MessageTime when;
  when.day = DayNumber(date);
  if (const std::optional<std::int64_t> seconds = SecondsOfDay(time))
    when.seconds = *seconds - ZoneSeconds(zone);
  return when;
}

}  // namespace mInbox
