#include "sync/SyncActions.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"
#include "inbox/mInbox.h"
#include "subscriptions/SubscriptionChecks.h"

#include <algorithm>
#include <cstdint>

namespace Sync {

namespace {

bool IsLowerHex(std::string_view text, std::size_t length) {
  return text.size() == length &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Control characters would let a title or name change how a window or a file shows it.
bool HasControl(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

std::string CheckText(std::string_view text, std::size_t max, const char* what) {
  if (text.size() > max)
    return std::string(what) + " is longer than " + std::to_string(max) + " bytes";
  if (Utf8::FirstInvalid(text) != std::string_view::npos)
    return std::string(what) + " is not UTF-8";
  return {};
}

int KindRank(Kind kind) { return static_cast<int>(static_cast<unsigned char>(kind)); }

}  // namespace

Stamp NextStamp(Stamp clock, std::int64_t nowMs) {
  if (nowMs > clock.ms) return {nowMs, 0};
  if (clock.counter == UINT32_MAX) return {clock.ms + 1, 0};
  return {clock.ms, clock.counter + 1};
}

Stamp ObservedStamp(Stamp clock, Stamp seen, std::int64_t nowMs) {
  return std::max(clock, std::min(seen, Stamp{nowMs + kClockLeadMs, 0}));
}

bool IsSourceKind(Kind kind) {
  return kind == Kind::Subscribe || kind == Kind::Rename || kind == Kind::Unsubscribe ||
         kind == Kind::ReadUpTo;
}

bool IsMessageKind(Kind kind) {
  return kind == Kind::Read || kind == Kind::Unread || kind == Kind::Delete;
}

std::strong_ordering CompareOrder(Stamp a, std::string_view machineA, Stamp b,
                                  std::string_view machineB) {
  if (const auto order = a <=> b; order != 0) return order;
  return machineA.compare(machineB) <=> 0;
}

bool Later(const Action& a, const Action& b) {
  if (const auto order = CompareOrder(a.stamp, a.machine, b.stamp, b.machine); order != 0)
    return order > 0;
  if (a.kind != b.kind) return KindRank(a.kind) > KindRank(b.kind);
  if (a.text != b.text) return a.text > b.text;
  if (a.link != b.link) return a.link > b.link;
  if (a.query != b.query) return a.query > b.query;
  return static_cast<int>(a.rule) > static_cast<int>(b.rule);
}

bool IsMachineId(std::string_view text) { return IsLowerHex(text, 32); }
bool IsToken(std::string_view text) { return IsLowerHex(text, 16); }

std::string CheckLink(std::string& link) {
  if (std::string why = CheckText(link, kMaxTitleBytes, "the link"); !why.empty()) return why;
  std::string stored;
  if (SubscriptionChecks::CheckLink(link, stored) != SubscriptionChecks::Refusal::None)
    return "the link fails the subscribe checks: " + link;
  link = std::move(stored);
  return {};
}

std::string CheckGuid(std::string_view guid) {
  if (std::string why = CheckText(guid, kMaxGuidBytes, "the guid"); !why.empty()) return why;
  if (guid.empty()) return "the guid is empty";
  // The inbox names a message by this form; any other could never match a stored one.
  const bool plain = guid.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos &&
                     AsciiText::Trim(guid) == guid;
  if (!plain && mInbox::NormalizedGuid(guid) != guid)
    return "the guid holds a line break, NUL or blanks at an end";
  return {};
}

std::string CheckTitle(std::string_view title) {
  if (std::string why = CheckText(title, kMaxTitleBytes, "the title"); !why.empty()) return why;
  if (AsciiText::IsBlank(title)) return "the title is blank";
  if (HasControl(title)) return "the title holds a control character";
  return {};
}

std::string CheckSearch(std::string_view name, std::string_view query) {
  if (std::string why = CheckTitle(name); !why.empty()) return "search name: " + why;
  return CheckText(query, kMaxQueryBytes, "the query");
}

std::string RuleText(Archive::Rule rule) {
  switch (rule) {
    case Archive::Rule::MarkRead:
      return "read";
    case Archive::Rule::Delete:
      return "delete";
    case Archive::Rule::None:
      break;
  }
  return "none";
}

std::optional<Archive::Rule> ParseRule(std::string_view text) {
  if (text == "none") return Archive::Rule::None;
  if (text == "read") return Archive::Rule::MarkRead;
  if (text == "delete") return Archive::Rule::Delete;
  return std::nullopt;
}

}  // namespace Sync
