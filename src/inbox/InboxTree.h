#pragma once
// The current source's messages as nodes of the message tree (source node keyed by SourceID,
// messages beneath it, newest first, unread in bold). A source's messages are read only when they
// are shown: when its node is unfolded (ReadSourcesOnDemand), or when a check stores into a
// source whose messages are shown; a start therefore reads no inbox.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TreeControl;

namespace mInbox {

// Replaces the current source's message nodes in the tree with its messages, newest day first,
// newest first within a day by time and zone (file order among equal times, undated last), when
// they are shown: the node is unfolded or has message nodes. Otherwise the node is put back
// fresh with its messages pending, to be read when it is unfolded. Either way the node's
// children come on demand. Does nothing when the tree has no top-level node keyed by SourceID
// or the identifier is not usable; a missing source folder is created and the tree left as it
// is. Lets window events run once before it changes the tree, when it reads the inbox.
void LoadInbox(TreeControl& tree);
// The same for the source of that identifier (a copy: window events run meanwhile).
void LoadInbox(TreeControl& tree, std::string sourceId);

// Makes the tree read a source node's pending messages when they are needed (the node is
// unfolded), in the order LoadInbox gives them, without letting window events run.
void ReadSourcesOnDemand(TreeControl& tree);

// Removes the current source's top-level node with its children and puts back an empty one with
// the same key, text and tag (image 1, collapsed, not selected).
void ResetSourceNode(TreeControl& tree);

// The day number of a date text such as "Sat, 05 Dec 2026" or "05 Dec 2026": days since
// 1 January 2000 (negative before). No value when the text is not such a date.
std::optional<std::int32_t> DayNumber(std::string_view dateText);

// A date text as a screen reader says it after a message's title: "5 Dec 2026" for any text
// DayNumber reads, the text itself otherwise.
std::string SpokenDate(std::string_view dateText);

}  // namespace mInbox
