#pragma once
// What a second Quillpost process asks of the running reader, over a local socket in the data
// folder: "quillpost --check" (the reader owns the inboxes, so it runs the check and the command
// prints what it would have printed itself), "--import-opml" (the command reads the file, the
// reader subscribes to its outlines), "--sync" (the reader merges with the sync folder) and a
// second desktop start (the reader shows its window).
// This file holds the protocol and the runs both sides share; the socket is the window layer's
// (CheckServer) and the entry's.
//
// A request is one line (kCheckRequest, kShowRequest, kSyncRequest), or kImportRequest followed by
// one line per outline ("outline", title, link) and "end". After kCheckRequest the command may send
// kStopRequest: it was interrupted. Reply: one line per event in the order they came ("box",
// style, title, text; "summary", text; "skipped", text; "added", count; "error", text), then
// "exit" and the status; fields are tab-separated and escaped (AsciiText::Escaped). Anything else
// is refused.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TreeControl;
namespace Sync {
struct Report;
}

namespace ForwardedCheck {

inline constexpr std::string_view kCheckRequest = "QUILLPOST CHECK 1\n";
inline constexpr std::string_view kShowRequest = "QUILLPOST SHOW 1\n";
inline constexpr std::string_view kImportRequest = "QUILLPOST IMPORT 1\n";
inline constexpr std::string_view kStopRequest = "QUILLPOST STOP 1\n";
inline constexpr std::string_view kSyncRequest = "QUILLPOST SYNC 1\n";
// An import carries at most as many outlines, and as many bytes, as an OPML file may hold.
inline constexpr std::size_t kMaxOutlines = 10'000;
inline constexpr std::size_t kMaxRequestBytes = std::size_t{16} << 20;

struct Outline {
  std::string title;
  std::string link;
  bool operator==(const Outline&) const = default;
};

enum class RequestKind { Check, Show, Import, Sync };
enum class RequestState { Partial, Complete, Refused };
struct Request {
  RequestState state = RequestState::Partial;
  RequestKind kind = RequestKind::Check;
  std::vector<Outline> outlines;  // of an import
  std::size_t length = 0;         // the bytes the complete request took
};
// What the bytes received so far make: a whole request (and how long it is), a beginning of one,
// or anything else (other bytes, a NUL, too many).
Request ReadRequest(std::string_view received);
std::string WriteImportRequest(const std::vector<Outline>& outlines);

// The exit status of a check of all sources.
enum Status : int {
  AllChecked = 0,     // every source fetched and parsed
  SomeFailed = 1,     // the run finished, but some source failed, or it was stopped
  NoRunPossible = 2,  // another instance runs, the subscription file is missing or damaged, offline
};

struct Event {
  enum class Kind { Box, Summary, Skipped, Added, Error };
  Kind kind = Kind::Summary;
  std::string text;  // Added: the count
  std::string title;
  int style = 0;
  bool operator==(const Event&) const = default;
};
struct Reply {
  std::vector<Event> events;
  int status = NoRunPossible;
  bool operator==(const Reply&) const = default;
};

std::string WriteReply(const Reply& reply);
// No value unless the bytes are a whole reply (a reader that ended halfway sent part of one).
std::optional<Reply> ReadReply(std::string_view bytes);

// The text AsciiText::Escaped made; no value for a text that escaping cannot have made.
std::optional<std::string> UnescapeLine(std::string_view text);

// Checks every source of the tree with the boxes and summary of a check by hand, through the
// installed services; the exit status as the headless check gives it.
int CheckAll(TreeControl& tree);

// The reader's side of a check: an automatic run of every source (no busy window, no box; the
// summary shows in the reader's own notice), reported as a check without windows reports it.
Reply Run(TreeControl& tree);

// The reader's side of an import: the outlines the command read, subscribed to as the menu's
// import does but without a box; the tree shows what was added. The reply carries a "skipped"
// line per outline left out (Opml::SkippedLine), the number "added", and for a failed import
// its "error".
Reply Import(TreeControl& tree, const std::vector<Outline>& outlines);

// What a merge with the sync folder did, as `quillpost --sync` prints it: a "skipped" line per
// file skipped or item refused, a "summary" line of what changed, and its exit status (0 merged,
// 1 merged but some items refused, 2 error).
Reply SyncReply(const Sync::Report& report);

// The reply to a check that cannot start: the reader has been busy too long, or the request
// was withdrawn before its run began.
Reply BusyReply(const std::string& text, const std::string& title);

}  // namespace ForwardedCheck
