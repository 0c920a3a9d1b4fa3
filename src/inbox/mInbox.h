#pragma once
// The inbox store: every source keeps its messages in inbox.dat, an INI file in the data folder's
// sub-folder named by the source's identifier. One section per message, named by its guid, with
// the keys title, description, date, time, offset and read, in that order. This module alone reads
// and writes inbox.dat and (through SourceState.h) state.dat beside it.
//
// Everything is reached by the source's identifier: the functions that take it touch no
// program-wide state and may run on any thread; calls for one source take turns (LockSource).
// The windows' own procedures (AddInboxItem, ManageInboxItem, ...) work on SourceID and
// CurrentItem instead, the selection those windows keep; they are thin forms of the same calls.
// A source identifier is used as a folder name only when it has the identifier form
// (SourceId::IsSourceID): a hand-edited "../x" must never create or touch anything. Showing the
// messages in the message tree is InboxTree.h's.

#include "inbox/SourceState.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
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

// What the message tree shows of a stored message.
struct MessageSummary {
  std::string guid;
  std::string title;
  std::string date;
  std::string time;    // 09:18:46, for the order within a day
  std::string offset;  // the zone: GMT, +0100, ...
  std::int16_t read = 0;
};

enum class InboxAction : int { Delete = 1, Exists = 2, MarkRead = 3, MarkUnread = 4, Load = 5 };
// No value for a number that is not an action.
std::optional<InboxAction> ToInboxAction(int code);

// The form a guid takes as a section name, and so as the message's identity: line breaks become
// spaces and the text ends at a NUL, as the INI file stores names. Every operation compares
// this form, so a guid holding a line break is found again on the next check.
std::string NormalizedGuid(std::string_view guid);

// Folder and file of a source in the data folder (DataPath), and in a data folder a reader keeps
// itself (a worker's copy of the path).
std::string InboxFolder(std::string_view sourceId);
std::string InboxPath(std::string_view sourceId);
std::string InboxFile(std::string_view dataFolder, std::string_view sourceId);

// Holds a source's inbox.dat and state.dat against the store calls of other threads while it
// lives. Every call below takes it itself; a caller takes it only to make several calls one step
// (read the state, store, write the state). The same thread may take it again.
using SourceLock = std::unique_lock<std::recursive_mutex>;
SourceLock LockSource(const std::string& sourceId);

// Stores the item as a message of the source, its read flag as "0". An existing section of
// exactly that guid has its values replaced. False when nothing was stored: no usable source, an
// empty guid, a stored guid that differs only in letter case (the INI file would take it for that
// message and overwrite it), or a failed write.
bool StoreMessage(const std::string& sourceId, const InboxItem& item);

// Stores, in the given order and with one read and one atomic rewrite of inbox.dat, each item
// whose guid the inbox does not hold yet, letter case aside; a guid that occurs twice is stored
// once. Items without a guid are skipped. Creates the source folder when it is missing. The
// file ends up byte for byte as storing the items one by one would leave it. Returns the number
// of messages stored; nothing when they could not be stored (no usable source, an inbox that
// cannot be read or written), so the caller can say so instead of reporting a quiet success.
// holding, when given, gets what the inbox holds afterwards. The arrival rules (InboxEvents.h)
// see the new items first: an item keeps the read flag they give it, and the ones they refuse
// are not stored and go to deletedByRules (the caller remembers them as deleted).
std::optional<std::size_t> AddNewInboxItems(const std::string& sourceId,
                                            const std::vector<InboxItem>& items,
                                            SourceState::Holding* holding = nullptr,
                                            std::vector<std::string>* deletedByRules = nullptr);

// What the source's inbox holds now; nothing when it cannot be read.
std::optional<SourceState::Holding> InboxHolding(const std::string& sourceId);

// The per-message commands find the guid among the section names of the source's inbox (exact
// comparison, case included); each is false when it is not there or the write failed. A missing
// source folder is created, and the result is then false.
bool MessageExists(const std::string& sourceId, std::string_view guid);
// The message with its plain description; its guid as the inbox names it.
std::optional<InboxItem> LoadMessage(const std::string& sourceId, std::string_view guid);
// Sets the read flag (no write when it is set already).
bool MarkMessage(const std::string& sourceId, std::string_view guid, bool read);
// The guid is remembered first (SourceState), so that a check does not store the message again
// while the feed still carries it, and a kill between the two writes keeps the message rather
// than letting a check bring it back.
bool DeleteMessage(const std::string& sourceId, std::string_view guid);

// The source's messages in file order. No value when the identifier is not usable, or when the
// source folder was missing (it is created then); an unreadable inbox lists nothing.
std::optional<std::vector<MessageSummary>> ListMessages(const std::string& sourceId);
// The guids alone, in file order, without making any folder; a missing inbox holds none. No value
// when the identifier is not usable or the inbox cannot be read.
std::optional<std::vector<std::string>> MessageGuids(const std::string& sourceId);
// Every message, in file order, as LoadMessage gives each. No value when the identifier is not
// usable; an unreadable inbox holds nothing.
std::optional<std::vector<InboxItem>> LoadAll(const std::string& sourceId);

// Marks every unread message of the source read, with one rewrite of inbox.dat. Returns how many
// were marked; nothing when the inbox could not be read or written.
std::optional<std::size_t> MarkAllRead(const std::string& sourceId);

// Changes made elsewhere (another machine), applied as one step: marks and deletions of the
// source's messages in one rewrite of inbox.dat, the deletions remembered in state.dat first.
// Guids are matched letter case aside; those the inbox does not hold are passed over, and so are
// marks it holds already; a message named twice takes the first change. Returns how many messages
// changed; nothing when the files could not be read or written (then nothing changed). A source
// without inbox.dat changes nothing and gets no folder.
enum class BatchChange { MarkRead, MarkUnread, Delete };
struct BatchItem {
  std::string guid;
  BatchChange change = BatchChange::MarkRead;
  bool operator==(const BatchItem&) const = default;
};
std::optional<std::size_t> ApplyBatch(const std::string& sourceId,
                                      const std::vector<BatchItem>& batch);

// The selection of the windows: the source and the message their procedures work on.
inline std::string SourceID;
inline InboxItem CurrentItem;

// The same on SourceID and CurrentItem.
std::string InboxFolder();
std::string InboxPath();
// Stores CurrentItem (StoreMessage).
bool AddInboxItem();
// Applies the action to CurrentItem.guid; Load fills CurrentItem's other fields.
bool ManageInboxItem(int action);
std::optional<std::size_t> AddNewInboxItems(const std::vector<InboxItem>& items,
                                            SourceState::Holding* holding = nullptr,
                                            std::vector<std::string>* deletedByRules = nullptr);
std::optional<SourceState::Holding> InboxHolding();
std::optional<std::vector<MessageSummary>> ListMessages();
std::optional<std::size_t> MarkAllRead();
std::optional<std::vector<InboxItem>> LoadAll();

}  // namespace mInbox
