#include "sync/SyncActions.h"

#include "core/AsciiText.h"
#include "core/Utf8.h"
#include "inbox/mInbox.h"
#include "subscriptions/SubscriptionChecks.h"

#include <charconv>

namespace Sync {

namespace {

bool IsLowerHex(std::string_view text, std::size_t length) {
  return text.size() == length &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<std::uint64_t> Number(std::string_view text, std::uint64_t max) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
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

// How many fields follow the stamp (and a snapshot's machine number), link included.
int FieldCount(Kind kind) {
  switch (kind) {
    case Kind::Subscribe:
    case Kind::Rename:
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      return 2;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
    case Kind::SearchRemoved:
      return 1;
    case Kind::ReadAllUpTo:
      return 0;
    case Kind::SearchSaved:
      return 3;
  }
  return -1;
}

std::optional<Kind> KindOf(std::string_view field) {
  if (field.size() != 1) return std::nullopt;
  switch (field[0]) {
    case 'A':
    case 'T':
    case 'X':
    case 'R':
    case 'U':
    case 'D':
    case 'P':
    case 'Q':
    case 'F':
    case 'G':
      return static_cast<Kind>(field[0]);
    default:
      return std::nullopt;
  }
}

ParsedLine Refused(std::string reason) {
  ParsedLine parsed;
  parsed.refusal = std::move(reason);
  return parsed;
}

// A machine's or source's number in a snapshot: one declared before.
std::optional<std::uint32_t> Declared(std::string_view text, std::size_t count) {
  const auto n = Number(text, 0xFFFFFFFFu);
  if (!n || *n >= count) return std::nullopt;
  return static_cast<std::uint32_t>(*n);
}

}  // namespace

std::string StampText(Stamp stamp) {
  std::string text = std::to_string(stamp.ms);
  if (stamp.counter) text += "." + std::to_string(stamp.counter);
  return text;
}

std::optional<Stamp> ParseStamp(std::string_view text) {
  const std::size_t dot = text.find('.');
  const auto ms = Number(text.substr(0, dot), kMaxStampMs);
  if (!ms) return std::nullopt;
  Stamp stamp{static_cast<std::int64_t>(*ms), 0};
  if (dot != std::string_view::npos) {
    const auto counter = Number(text.substr(dot + 1), 0xFFFFFFFFu);
    if (!counter || *counter == 0) return std::nullopt;
    stamp.counter = static_cast<std::uint32_t>(*counter);
  }
  return stamp;
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

void AppendField(std::string& line, std::string_view field) {
  line += '\t';
  if (field.find_first_of("\\\t\r\n") == std::string_view::npos) {
    line.append(field);
  } else {
    line.append(AsciiText::Escaped(field));
  }
}

std::optional<std::vector<std::string>> SplitFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c != '\\') {
      fields.back() += c;
    } else {
      if (++i == line.size()) return std::nullopt;
      switch (line[i]) {
        case '\\':
          fields.back() += '\\';
          break;
        case 't':
          fields.back() += '\t';
          break;
        case 'r':
          fields.back() += '\r';
          break;
        case 'n':
          fields.back() += '\n';
          break;
        default:
          return std::nullopt;
      }
    }
  }
  return fields;
}

std::string LogLine(const Action& action) {
  std::string line(1, static_cast<char>(action.kind));
  AppendField(line, StampText(action.stamp));
  switch (action.kind) {
    case Kind::Subscribe:
    case Kind::Rename:
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      AppendField(line, action.link);
      AppendField(line, action.text);
      break;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
      AppendField(line, action.link);
      break;
    case Kind::ReadAllUpTo:
      break;
    case Kind::SearchSaved:
      AppendField(line, action.text);
      AppendField(line, RuleText(action.rule));
      AppendField(line, action.query);
      break;
    case Kind::SearchRemoved:
      AppendField(line, action.text);
      break;
  }
  line += '\n';
  return line;
}

ParsedLine ParseLine(std::string_view line, const LineContext& context) {
  if (line.size() > kMaxLineBytes)
    return Refused("a line longer than " + std::to_string(kMaxLineBytes) + " bytes");
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // Most lines hold no escape: their fields are views of the line.
  std::optional<std::vector<std::string>> owned;
  std::vector<std::string_view> f;
  if (line.find('\\') == std::string_view::npos) {
    for (std::size_t at = 0;;) {
      const std::size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string_view::npos ? tab : tab - at));
      if (tab == std::string_view::npos) break;
      at = tab + 1;
    }
  } else {
    owned = SplitFields(line);
    if (!owned) return Refused("an unknown escape");
    f.assign(owned->begin(), owned->end());
  }

  // Declarations.
  if (f[0] == "S" && f.size() == 2 && !context.snapshot) {
    if (!IsToken(f[1])) return Refused("a session that is no token");
    ParsedLine parsed;
    parsed.declaration = 'S';
    parsed.value = f[1];
    return parsed;
  }
  if (context.snapshot && (f[0] == "m" || f[0] == "s" || f[0] == "E")) {
    ParsedLine parsed;
    parsed.declaration = f[0][0];
    const std::size_t count = f[0] == "m"   ? context.machines.size()
                              : f[0] == "s" ? context.links.size()
                                            : 0;
    const std::size_t fields = f[0] == "E" ? 2 : 3;
    const auto number = f.size() == fields ? Number(f[1], 0xFFFFFFFFu) : std::nullopt;
    // Numbers are declared in order, so a reader needs no map.
    if (!number || (f[0] != "E" && *number != count)) return Refused("a malformed declaration");
    parsed.number = static_cast<std::uint32_t>(*number);
    if (f[0] == "m") {
      if (!IsMachineId(f[2])) return Refused("a machine that is no identity");
      parsed.value = f[2];
    } else if (f[0] == "s") {
      parsed.value = f[2];
      if (std::string why = CheckLink(parsed.value); !why.empty()) return Refused(why);
    }
    return parsed;
  }

  const std::optional<Kind> kind = KindOf(f[0]);
  if (!kind) {
    std::string name(f[0].substr(0, 16));
    if (Utf8::FirstInvalid(name) != std::string::npos || HasControl(name)) name = "?";
    return Refused("an unknown action \"" + name + "\"");
  }
  const std::size_t before = context.snapshot ? 3 : 2;  // kind, stamp, [machine]
  if (f.size() != before + static_cast<std::size_t>(FieldCount(*kind)))
    return Refused("a " + std::string(f[0]) + " line with " + std::to_string(f.size()) + " fields");
  Action action;
  action.kind = *kind;
  const std::optional<Stamp> stamp = ParseStamp(f[1]);
  if (!stamp) return Refused("a stamp that is no clock reading");
  action.stamp = *stamp;
  if (context.snapshot) {
    const auto machine = Declared(f[2], context.machines.size());
    if (!machine) return Refused("an undeclared machine");
    action.machine = context.machines[*machine];
  } else {
    action.machine = context.machine;
  }
  std::size_t next = before;
  if (IsSourceKind(*kind) || IsMessageKind(*kind)) {
    if (context.snapshot) {
      const auto source = Declared(f[next], context.links.size());
      if (!source) return Refused("an undeclared source");
      action.link = context.links[*source];
    } else {
      action.link = f[next];
      if (std::string why = CheckLink(action.link); !why.empty()) return Refused(why);
    }
    ++next;
  }
  std::string why;
  switch (*kind) {
    case Kind::Subscribe:
    case Kind::Rename:
      action.text = f[next];
      why = CheckTitle(action.text);
      break;
    case Kind::Read:
    case Kind::Unread:
    case Kind::Delete:
      action.text = f[next];
      why = CheckGuid(action.text);
      break;
    case Kind::SearchSaved: {
      action.text = f[next];
      action.query = f[next + 2];
      const std::optional<Archive::Rule> rule = ParseRule(f[next + 1]);
      if (!rule) return Refused("an unknown rule");
      action.rule = *rule;
      why = CheckSearch(action.text, action.query);
      break;
    }
    case Kind::SearchRemoved:
      action.text = f[next];
      why = CheckSearch(action.text, {});
      break;
    case Kind::Unsubscribe:
    case Kind::ReadUpTo:
    case Kind::ReadAllUpTo:
      break;
  }
  if (!why.empty()) return Refused(why);
  ParsedLine parsed;
  parsed.action = std::move(action);
  return parsed;
}

HeaderResult ParseHeader(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto split = SplitFields(line.substr(0, 256));
  if (!split || split->size() < 5 || (*split)[0] != "QPSYNC")
    return {std::nullopt, "not a Quillpost sync file"};
  const std::vector<std::string>& f = *split;
  const auto format = Number(f[1], 1'000'000);
  if (!format) return {std::nullopt, "not a Quillpost sync file"};
  if (*format > static_cast<std::uint64_t>(kFormat))
    return {std::nullopt, "written by a newer version of Quillpost (format " + f[1] + ")"};
  Header header;
  if (f[2] == "log") {
    header.type = FileType::Log;
  } else if (f[2] == "snapshot") {
    header.type = FileType::Snapshot;
  } else if (f[2] == "state") {
    header.type = FileType::State;
  } else {
    return {std::nullopt, "not a Quillpost sync file"};
  }
  const std::size_t fields = header.type == FileType::Log ? 5 : 6;
  if (*format != static_cast<std::uint64_t>(kFormat) || f.size() != fields || !IsMachineId(f[3]) ||
      !IsToken(f[4]) || (fields == 6 && !IsToken(f[5])))
    return {std::nullopt, "a damaged header"};
  header.machine = f[3];
  header.nonce = f[4];
  if (fields == 6) header.token = f[5];
  return {std::move(header), {}};
}

std::string HeaderLine(const Header& header) {
  std::string line = "QPSYNC";
  AppendField(line, std::to_string(kFormat));
  AppendField(line, header.type == FileType::Log        ? "log"
                    : header.type == FileType::Snapshot ? "snapshot"
                                                        : "state");
  AppendField(line, header.machine);
  AppendField(line, header.nonce);
  if (header.type != FileType::Log) AppendField(line, header.token);
  line += '\n';
  return line;
}

}  // namespace Sync
