#pragma once
// "quillpost --check" beside a running reader. The reader owns the inboxes, so the check process
// asks it over a local socket; the reader runs the check as the headless check runs it, with its
// boxes and summary going into the reply instead of onto the screen, and the check process prints
// them and exits with the status sent. This file holds the protocol, the run and the exit status
// both sides share; the socket is the window layer's (CheckServer) and the entry's.
//
// Request: the one line kRequest. Reply: one line per box ("box", style, title, text) and per
// summary ("summary", text) in the order they came, then "exit" and the status; fields are
// tab-separated and escaped (AsciiText::Escaped). Anything else is refused.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TreeControl;

namespace ForwardedCheck {

inline constexpr std::string_view kRequest = "QUILLPOST CHECK 1\n";

enum class RequestState { Partial, Complete, Refused };
// What the bytes received so far make: the whole request, a beginning of it, or anything else
// (more bytes, other bytes, a NUL).
RequestState ReadRequest(std::string_view received);

// The exit status of a check of all sources.
enum Status : int {
  AllChecked = 0,     // every source fetched and parsed
  SomeFailed = 1,     // the run finished, but some source failed
  NoRunPossible = 2,  // another instance runs, the subscription file is missing or damaged, offline
};

struct Event {
  bool isBox = false;  // a message box, else the run's summary
  std::string text;
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

// The reader's side: CheckAll with its boxes and summary caught for the reply. The run lets
// window events run, and a box that the user's own doings show meanwhile is not the run's:
// userEventsRunning says when that is (the clock's event rounds are counted here), and such boxes
// go to the screen as always. The summary also shows in the reader's own notice.
Reply Run(TreeControl& tree, const std::function<bool()>& userEventsRunning);

}  // namespace ForwardedCheck
