#pragma once
// Reading from the keyboard: "Next Unread" opens the next unread message after the selected node
// in the message tree's displayed order (each source followed by its messages, sources in their
// order), across sources and around from the end to the top; "Back" returns along the messages
// it opened. Nodes that are not sources (saved searches and their group) are passed over.
//
// The inbox's read flags decide which messages are unread, not what their nodes show. A source
// whose messages have not been read is looked into only when its count says it holds unread
// messages or when its count is not known; its messages are then read through the tree's child
// loader, and given up again when none of them is unread.
//
// Also what acts on a whole source: marking it, or every source, read; exporting its messages
// one file each.

#include "core/TreeControl.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class IDocumentHost;

namespace ReadingFlow {

// The unread messages of a source by its identifier; no value when not known.
using UnreadLookup = std::function<std::optional<std::size_t>(const std::string& sourceId)>;

// The next unread message node after `from` (nullptr, or a node that is no source nor message:
// from the top); `from` itself comes last. nullptr when no source holds an unread message.
TreeControl::Node* FindNextUnread(TreeControl& tree, const TreeControl::Node* from,
                                  const UnreadLookup& unread);

struct Message {
  std::string sourceId;
  std::string guid;
  bool operator==(const Message&) const = default;
};

// The messages Next Unread opened, to go back along.
class Trail {
 public:
  void Opened(const Message& message);
  // The message opened before the last one, which leaves the trail; none at its start.
  std::optional<Message> Back();

 private:
  std::vector<Message> m_messages;
};

// Opens the next unread message as a double click would (marked read), unfolding its source and
// selecting it. False when nothing is unread.
bool OpenNextUnread(TreeControl& tree, IDocumentHost& host, const UnreadLookup& unread,
                    Trail& trail);
// Opens the message before the last one Next Unread opened. False at the trail's start.
bool OpenPrevious(TreeControl& tree, IDocumentHost& host, Trail& trail);
// Selects the message in the tree, unfolding its source (back from its page). A message gone
// since leaves its source selected; false then, and when the source is gone too.
bool SelectMessage(TreeControl& tree, const Message& message);

// "1,234".
std::string GroupedNumber(std::size_t number);
// The source a node stands in: itself or its parent, when that is a source; else nullptr.
TreeControl::Node* SourceOf(TreeControl::Node* node);

// A source's unread messages as its inbox holds them: the lookup's count while its messages are
// not shown (when known), else the inbox's.
std::size_t UnreadCount(const TreeControl::Node& source, const UnreadLookup& unread);

// Asks "Mark 1,234 messages of Kitchen Notes as read?" and marks them, in the inbox and in the
// source's message nodes. Returns how many were marked; 0 when nothing was unread, nothing was
// asked or the answer was No.
std::size_t MarkSourceRead(TreeControl& tree, const std::string& sourceId, std::size_t unread);
// The same for every source, asking once with the total. unread gives each source's count.
std::size_t MarkAllRead(TreeControl& tree, const UnreadLookup& unread);

// "2026-12-05 Bread at dawn.html": the date (when the message has one that reads as a date),
// the title with the characters a file name cannot hold replaced, the extension.
std::string ExportFileName(const std::string& date, const std::string& title,
                           const std::string& extension);
// Writes every message of the source into the folder as an HTML page of its own, named by
// ExportFileName; a name that is taken gets " (2)", " (3)" ... and no file is ever replaced.
// Returns how many were written; no value when the source's messages could not be read.
std::optional<std::size_t> ExportMessages(const std::string& sourceId, const std::string& folder);

}  // namespace ReadingFlow
