#pragma once
// What travels between machines: the user's actions, each stamped with a hybrid logical clock and
// the identity of the machine that made it, and the one-line text they take in the sync folder's
// files. Reading a line applies the checks the program gives the user's own input (a link the
// subscribe dialog would refuse, a guid no inbox could hold, text that is not UTF-8); a line that
// fails them is refused on its own, with its reason, and the lines around it still count.
//
// A line is fields separated by TAB and ends with LF; inside a field backslash, TAB, CR and LF are
// written \\, \t, \r and \n. The first field names the kind:
//   A stamp link title    subscribed        R stamp link guid    marked read
//   T stamp link title    renamed           U stamp link guid    marked unread
//   X stamp link          unsubscribed      D stamp link guid    deleted
//   P stamp link          source read up to now
//   Q stamp               every source read up to now
//   F stamp name rule query   saved search kept (rule: none, read or delete)
//   G stamp name              saved search removed
// That is a log's form. A snapshot puts a machine number after the stamp and a source number in
// place of the link, both declared before use ("m n id", "s n link").

#include "archive/SavedSearches.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Sync {

// A hybrid logical clock reading: wall-clock milliseconds, then a counter that orders actions
// within one millisecond or made while another machine's clock stood ahead of this one's.
struct Stamp {
  std::int64_t ms = 0;
  std::uint32_t counter = 0;
  auto operator<=>(const Stamp&) const = default;
};
// "1796000000000", or "1796000000000.3" with a counter.
std::string StampText(Stamp stamp);
std::optional<Stamp> ParseStamp(std::string_view text);
// The latest stamp accepted: the end of the year 9999.
inline constexpr std::int64_t kMaxStampMs = 253'402'300'799'999;

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

// Limits of what a line may carry.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
inline constexpr std::size_t kMaxGuidBytes = 4096;
inline constexpr std::size_t kMaxTitleBytes = 4096;
inline constexpr std::size_t kMaxQueryBytes = 10'000;

// A machine identity and a session token: 32 and 16 lower-case hex digits.
bool IsMachineId(std::string_view text);
bool IsToken(std::string_view text);

// The checks a line's values get, as the user's own input would. Empty when they pass, else the
// reason. On success `link` is replaced by the form the subscription file stores.
std::string CheckLink(std::string& link);
std::string CheckGuid(std::string_view guid);
std::string CheckTitle(std::string_view title);
std::string CheckSearch(std::string_view name, std::string_view query);

std::string RuleText(Archive::Rule rule);
std::optional<Archive::Rule> ParseRule(std::string_view text);

// Field escapes.
void AppendField(std::string& line, std::string_view field);
// Splits a line (without its LF) into its fields; nothing when an escape is not one of the four.
std::optional<std::vector<std::string>> SplitFields(std::string_view line);

// The log line of an action, LF included.
std::string LogLine(const Action& action);

// One line of a log or snapshot as read. Exactly one of the members is set.
struct ParsedLine {
  std::optional<Action> action;
  std::string refusal;  // why the line was refused
  // Declarations and markers: a session ("S token"), a snapshot's machine or source number
  // ("m n id", "s n link"), its end ("E count").
  char declaration = 0;
  std::string value;
  std::uint32_t number = 0;
};

// What a file's lines refer to: the machine of a log, or a snapshot's numbered machines and
// sources.
struct LineContext {
  bool snapshot = false;
  std::string machine;  // a log's
  std::vector<std::string> machines;
  std::vector<std::string> links;
};
ParsedLine ParseLine(std::string_view line, const LineContext& context);

// Every file starts with "QPSYNC <format> <log|snapshot|state> <machine> <nonce> [<token>]": the
// nonce is new for every file written, so a reader can tell an appended file from a replaced one.
inline constexpr int kFormat = 1;
enum class FileType { Log, Snapshot, State };
struct Header {
  FileType type = FileType::Log;
  std::string machine;
  std::string nonce;
  std::string token;  // a snapshot's writer session
};
struct HeaderResult {
  std::optional<Header> header;
  std::string refusal;  // why the file is not read
};
HeaderResult ParseHeader(std::string_view line);
std::string HeaderLine(const Header& header);

}  // namespace Sync
