#pragma once
// The inbox store: every source keeps its messages in inbox.dat, an INI file in the data folder's
// sub-folder named by the source's identifier. One section per message, named by its guid, with
// the keys title, description, date, time, offset and read, in that order.
//
// Callers set SourceID and CurrentItem.guid, call an operation and read CurrentItem back.
// A source identifier is used as a folder name only when it has the identifier form
// (SourceId::IsSourceID): a hand-edited "../x" must never create or touch anything. Showing the
// messages in the message tree is InboxTree.h's.

#include "inbox/SourceState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mInbox {

struct InboxItem {
  std::string guid;
  std::string title;
  // Encoded for storage: no line feed (character 5 stands for one), "[" and "]" as "(" and ")".
  // After Load the character 5 has become CR LF again.
  std::string description;
  std::string date;
  std::string time;
  std::string offset;
  std::int16_t read = 0;
  bool operator==(const InboxItem&) const = default;
};

// The source all operations work on.
inline std::string SourceID;
// The message the per-message operations work on.
inline InboxItem CurrentItem;

enum class InboxAction : int { Delete = 1, Exists = 2, MarkRead = 3, MarkUnread = 4, Load = 5 };
// No value for a number that is not an action.
std::optional<InboxAction> ToInboxAction(int code);

// The form a guid takes as a section name, and so as the message's identity: line breaks become
// spaces and the text ends at a NUL, as the INI file stores names. Every operation compares
// this form, so a guid holding a line break is found again on the next check.
std::string NormalizedGuid(std::string_view guid);

// Folder and file of the current source.
std::string InboxFolder();
std::string InboxPath();

// Stores CurrentItem as a message of the current source, its read flag as "0". An existing
// section of exactly that guid has its values replaced. False when nothing was stored: no
// usable source, an empty guid, a stored guid that differs only in letter case (the INI file
// would take it for that message and overwrite it), or a failed write.
bool AddInboxItem();

// Stores, in the given order and with one read and one atomic rewrite of inbox.dat, each item
// whose guid the inbox does not hold yet, letter case aside; a guid that occurs twice is stored
// once. Items without a guid are skipped. Creates the source folder when it is missing. The
// file ends up byte for byte as storing the items one by one would leave it. Returns the number
// of messages stored; nothing when they could not be stored (no usable source, an inbox that
// cannot be read or written), so the caller can say so instead of reporting a quiet success.
// holding, when given, gets what the inbox holds afterwards. The arrival rules (InboxEvents.h)
// see the new items first: an item keeps the read flag they give it, and the ones they refuse
// are not stored and go to deletedByRules (the caller remembers them as deleted).
std::optional<std::size_t> AddNewInboxItems(const std::vector<InboxItem>& items,
                                            SourceState::Holding* holding = nullptr,
                                            std::vector<std::string>* deletedByRules = nullptr);

// What the current source's inbox holds now; nothing when it cannot be read.
std::optional<SourceState::Holding> InboxHolding();

// Finds CurrentItem.guid among the section names of the current source's inbox (exact
// comparison, case included) and applies the action; true when found and done. A missing source
// folder is created, and the result is then false. A deleted message's guid is remembered
// (SourceState), so that a check does not store it again while the feed still carries it.
bool ManageInboxItem(int action);

// What the message tree shows of a stored message.
struct MessageSummary {
  std::string guid;
  std::string title;
  std::string date;
  std::string time;    // 09:18:46, for the order within a day
  std::string offset;  // the zone: GMT, +0100, ...
  std::int16_t read = 0;
};
// The current source's messages in file order. No value when the identifier is not usable, or
// when the source folder was missing (it is created then); an unreadable inbox lists nothing.
std::optional<std::vector<MessageSummary>> ListMessages();

// Marks every unread message of the current source read, with one rewrite of inbox.dat. Returns
// how many were marked; nothing when the inbox could not be read or written.
std::optional<std::size_t> MarkAllRead();

// Every message of the current source, in file order, as Load gives each. No value when the
// identifier is not usable; an unreadable inbox holds nothing.
std::optional<std::vector<InboxItem>> LoadAll();

}  // namespace mInbox
