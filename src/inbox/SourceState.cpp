#include "inbox/SourceState.h"

#include "config/IniDocument.h"
#include "core/AsciiText.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace SourceState {

namespace {

constexpr std::string_view kValidators = "validators", kDeleted = "deleted", kLastSeen = "lastseen";

std::string Path(const std::string& sourceId) {
  return mGeneralFunctions::AddBackslash(mInbox::InboxFolder(sourceId)) + "state.dat";
}

// FNV-1a over the guid in lower case: fixed, so a digest written by one build reads in another.
std::uint64_t Hash(std::string_view guid) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : guid) {
    hash ^= static_cast<unsigned char>(AsciiText::Lower(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

std::optional<std::uint64_t> Number(const std::optional<std::string>& text, int base) {
  std::uint64_t value = 0;
  if (!text || text->empty()) return std::nullopt;
  const char* end = text->data() + text->size();
  const auto [at, error] = std::from_chars(text->data(), end, value, base);
  if (error != std::errc() || at != end) return std::nullopt;
  return value;
}

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

namespace chrono = std::chrono;

// A day as state.dat writes it: 2026-12-05.
std::string DayText(std::int32_t day) {
  const chrono::year_month_day date{chrono::sys_days{chrono::days{day}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

// A number of exactly that many digits (1 to 4 with width 0).
std::optional<int> Digits(std::string_view text, std::size_t width = 0) {
  if (width ? text.size() != width : text.empty() || text.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<std::int32_t> DayFromText(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto year = Digits(text.substr(0, 4), 4), month = Digits(text.substr(5, 2), 2),
             day = Digits(text.substr(8, 2), 2);
  if (!year || !month || !day) return std::nullopt;
  const chrono::year_month_day date{chrono::year{*year}, chrono::month(unsigned(*month)),
                                    chrono::day(unsigned(*day))};
  if (!date.ok()) return std::nullopt;
  return static_cast<std::int32_t>(chrono::sys_days{date}.time_since_epoch().count());
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  constexpr std::string_view kBlanks = " \t";
  for (std::size_t at = text.find_first_not_of(kBlanks); at != std::string_view::npos;) {
    const std::size_t end = std::min(text.find_first_of(kBlanks, at), text.size());
    words.push_back(text.substr(at, end - at));
    at = text.find_first_not_of(kBlanks, end);
  }
  return words;
}

bool IsDayName(std::string_view word) {
  static constexpr std::string_view kDays[] = {"monday", "tuesday",  "wednesday", "thursday",
                                               "friday", "saturday", "sunday"};
  for (const std::string_view day : kDays)
    if (AsciiText::EqualsNoCase(word, day) || AsciiText::EqualsNoCase(word, day.substr(0, 3)))
      return true;
  return false;
}

std::optional<unsigned> MonthNumber(std::string_view word) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  for (unsigned i = 0; i < 12; ++i)
    if (AsciiText::EqualsNoCase(word, kMonths[i])) return i + 1;
  return std::nullopt;
}

// "08:49:37" in seconds of the day.
std::optional<std::int64_t> TimeOfDay(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  const auto h = Digits(text.substr(0, 2), 2), m = Digits(text.substr(3, 2), 2),
             s = Digits(text.substr(6, 2), 2);
  if (!h || !m || !s || *h > 23 || *m > 59 || *s > 60) return std::nullopt;
  return *h * 3600 + *m * 60 + *s;
}

// How far the zone is ahead of UTC, in seconds. GMT is the one HTTP allows; UTC and numeric
// offsets are read as meant.
std::optional<std::int64_t> ZoneSeconds(std::string_view zone) {
  for (const std::string_view utc : {"GMT", "UTC", "UT", "Z"})
    if (AsciiText::EqualsNoCase(zone, utc)) return 0;
  if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-')) return std::nullopt;
  const auto h = Digits(zone.substr(1, 2), 2), m = Digits(zone.substr(3, 2), 2);
  if (!h || !m || *h > 23 || *m > 59) return std::nullopt;
  return (zone[0] == '-' ? -60 : 60) * (*h * 60 + *m);
}

}  // namespace

std::optional<std::int64_t> HttpDateSeconds(std::string_view text, std::int64_t nowMs) {
  const std::vector<std::string_view> words = Words(text);
  if (words.empty()) return std::nullopt;
  std::string_view day, month, year, time, zone = "GMT";
  std::string_view first = words[0];
  if (first.ends_with(',')) {
    first.remove_suffix(1);
    if (words.size() == 6) {  // Sun, 06 Nov 1994 08:49:37 GMT
      day = words[1], month = words[2], year = words[3], time = words[4], zone = words[5];
    } else if (words.size() == 4) {  // Sunday, 06-Nov-94 08:49:37 GMT
      const std::string_view date = words[1];
      const std::size_t dash = date.find('-'), second = date.rfind('-');
      if (dash == std::string_view::npos || second == dash) return std::nullopt;
      day = date.substr(0, dash), month = date.substr(dash + 1, second - dash - 1);
      year = date.substr(second + 1), time = words[2], zone = words[3];
    } else {
      return std::nullopt;
    }
  } else if (words.size() == 5) {  // Sun Nov  6 08:49:37 1994
    month = words[1], day = words[2], time = words[3], year = words[4];
  } else {
    return std::nullopt;
  }
  const std::optional<int> dayOfMonth = day.size() <= 2 ? Digits(day) : std::nullopt;
  const std::optional<unsigned> monthOfYear = MonthNumber(month);
  const std::optional<int> yearNumber =
      year.size() == 2 || year.size() == 4 ? Digits(year) : std::nullopt;
  const std::optional<std::int64_t> seconds = TimeOfDay(time), offset = ZoneSeconds(zone);
  if (!IsDayName(first) || !dayOfMonth || !monthOfYear || !yearNumber || !seconds || !offset)
    return std::nullopt;
  int fullYear = *yearNumber;
  if (year.size() == 2) {
    const chrono::year_month_day today{chrono::floor<chrono::days>(
        chrono::sys_time<chrono::milliseconds>{chrono::milliseconds{nowMs}})};
    const int latest = static_cast<int>(today.year()) + 50;
    fullYear = latest - ((latest - fullYear) % 100 + 100) % 100;
  }
  const chrono::year_month_day date{chrono::year{fullYear}, chrono::month{*monthOfYear},
                                    chrono::day(unsigned(*dayOfMonth))};
  if (!date.ok()) return std::nullopt;
  return std::int64_t{chrono::sys_days{date}.time_since_epoch().count()} * 86400 + *seconds -
         *offset;
}

Validators ValidatorsToRecord(const Answer& answer, std::int64_t arrivalMs) {
  Validators kept{answer.etag, {}};
  const std::optional<std::int64_t> modified = HttpDateSeconds(answer.lastModified, arrivalMs);
  if (!modified) return kept;
  std::optional<std::int64_t> answeredMs = arrivalMs;
  if (!AsciiText::IsBlank(answer.date)) {
    const std::optional<std::int64_t> date = HttpDateSeconds(answer.date, arrivalMs);
    answeredMs = date ? std::optional(*date * 1000) : std::nullopt;
  }
  // The date names a whole second: the file may still change until that second is over.
  if (answeredMs && (*modified + 1) * 1000 <= *answeredMs) kept.lastModified = answer.lastModified;
  return kept;
}

std::int32_t DayOf(std::int64_t ms) {
  return static_cast<std::int32_t>(chrono::floor<chrono::days>(chrono::milliseconds{ms}).count());
}

void UpdateDeletions(std::vector<Deletion>& deleted,
                     const std::unordered_set<std::string>& carriedLower, std::int32_t today) {
  if (carriedLower.empty()) return;
  std::vector<std::size_t> gone;
  for (std::size_t i = 0; i < deleted.size(); ++i) {
    std::optional<std::int32_t>& lastSeen = deleted[i].lastSeen;
    if (carriedLower.contains(AsciiText::Lower(deleted[i].guid))) {
      lastSeen.reset();
      continue;
    }
    // A day after today is a clock that went back: the guid would never be forgotten.
    if (!lastSeen || *lastSeen > today) lastSeen = today;
    if (today - *lastSeen < kDeletionMemoryDays) gone.push_back(i);
  }
  // Those last seen latest stay; among the same day, the later deletions.
  std::stable_sort(gone.begin(), gone.end(), [&deleted](std::size_t a, std::size_t b) {
    return *deleted[a].lastSeen > *deleted[b].lastSeen;
  });
  if (gone.size() > kMaxGoneDeletions) gone.resize(kMaxGoneDeletions);
  std::vector<bool> keep(deleted.size(), false);
  for (const std::size_t i : gone) keep[i] = true;
  std::vector<Deletion> kept;
  for (std::size_t i = 0; i < deleted.size(); ++i) {
    if (keep[i] || !deleted[i].lastSeen) kept.push_back(std::move(deleted[i]));
  }
  deleted = std::move(kept);
}

void Holding::Add(std::string_view guid) {
  ++count;
  digest ^= Hash(guid);
}

void Holding::Remove(std::string_view guid) {
  --count;
  digest ^= Hash(guid);
}

State Load(const std::string& sourceId) {
  State state;
  std::error_code ec;
  const mInbox::SourceLock lock = mInbox::LockSource(sourceId);
  const IniDocument doc = IniDocument::Load(Path(sourceId), ec);
  if (ec) return state;
  const auto count = Number(doc.GetValue(kValidators, "messages"), 10);
  const auto digest = Number(doc.GetValue(kValidators, "digest"), 16);
  if (count && digest) {
    state.holding = Holding{*count, *digest};
    state.validators.etag = doc.GetValue(kValidators, "etag").value_or("");
    state.validators.lastModified = doc.GetValue(kValidators, "lastmodified").value_or("");
  }
  // A guid without a readable day (the form before days were kept) counts as seen today.
  for (const std::string& key : doc.KeyNames(kDeleted)) {
    std::string guid = doc.GetValue(kDeleted, key).value_or("");
    if (guid.empty()) continue;
    const std::optional<std::string> day = doc.GetValue(kLastSeen, key);
    state.deleted.push_back({std::move(guid), day ? DayFromText(*day) : std::nullopt});
  }
  return state;
}

bool Save(const std::string& sourceId, const State& state) {
  std::error_code ec;
  const mInbox::SourceLock lock = mInbox::LockSource(sourceId);
  if (state == State{}) {
    std::filesystem::remove(Path(sourceId), ec);
    return !ec;
  }
  IniDocument doc;
  if (state.holding) {
    doc.SetValue(kValidators, "etag", state.validators.etag);
    doc.SetValue(kValidators, "lastmodified", state.validators.lastModified);
    doc.SetValue(kValidators, "messages", std::to_string(state.holding->count));
    doc.SetValue(kValidators, "digest", Hex(state.holding->digest));
  }
  // The days have a section of their own, so that an older reader still finds every guid.
  for (std::size_t i = 0; i < state.deleted.size(); ++i)
    doc.SetValue(kDeleted, std::to_string(i + 1), state.deleted[i].guid);
  for (std::size_t i = 0; i < state.deleted.size(); ++i) {
    if (const auto day = state.deleted[i].lastSeen)
      doc.SetValue(kLastSeen, std::to_string(i + 1), DayText(*day));
  }
  return doc.Save(Path(sourceId), ec);
}

Validators ValidatorsToSend(const std::string& sourceId) {
  const mInbox::SourceLock lock = mInbox::LockSource(sourceId);
  const State state = Load(sourceId);
  if (state.validators.Empty() || !state.holding) return {};
  const std::optional<Holding> held = mInbox::InboxHolding(sourceId);
  return held == state.holding ? state.validators : Validators{};
}

bool RecordDeletions(const std::string& sourceId, const std::vector<std::string>& guids) {
  const mInbox::SourceLock lock = mInbox::LockSource(sourceId);
  State state = Load(sourceId);
  for (const std::string& guid : guids) {
    const bool known =
        std::any_of(state.deleted.begin(), state.deleted.end(),
                    [&guid](const Deletion& d) { return AsciiText::EqualsNoCase(d.guid, guid); });
    if (!known) state.deleted.push_back({guid, std::nullopt});
    if (state.holding) {
      if (state.holding->count == 0) {
        state.holding.reset();
      } else {
        state.holding->Remove(guid);
      }
    }
  }
  return Save(sourceId, state);
}

bool RecordDeletion(const std::string& sourceId, std::string_view guid) {
  return RecordDeletions(sourceId, {std::string(guid)});
}

}  // namespace SourceState
