#include "presentation/ReadingFlow.h"

#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/SourceId.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "presentation/MessageActions.h"
#include "presentation/PanelActions.h"
#include "sync/SyncEngine.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <unordered_set>

namespace ReadingFlow {

namespace {

using Node = TreeControl::Node;

// A trail long enough for any sitting, short enough to cost nothing.
constexpr std::size_t kTrailLength = 500;

bool IsSource(const Node* node) {
  return node && node->IsTopLevel() && SourceId::IsSourceID(node->Key());
}

// The guids the source's inbox holds as unread: the store decides, not what a node shows.
std::unordered_set<std::string> UnreadGuids(const std::string& sourceId) {
  std::unordered_set<std::string> guids;
  if (const auto messages = mInbox::ListMessages(sourceId))
    for (const mInbox::MessageSummary& message : *messages)
      if (message.read == 0) guids.insert(message.guid);
  return guids;
}

// The first unread message among rows [first, end) of a source, reading pending messages when
// they may hold one; read ones that hold none are given up again.
Node* UnreadIn(TreeControl& tree, Node* source, std::size_t first, std::size_t end,
               const UnreadLookup& unread) {
  if (first >= end) return nullptr;
  if (source->ChildrenPending()) {
    const std::optional<std::size_t> count = unread ? unread(source->Key()) : std::nullopt;
    if (count && *count == 0) return nullptr;
  }
  const std::unordered_set<std::string> guids = UnreadGuids(source->Key());
  if (guids.empty()) return nullptr;
  const bool fetched = source->ChildrenPending() && tree.FetchChildren(source);
  for (std::size_t row = first; row < end && row < source->ChildCount(); ++row)
    if (guids.contains(source->Child(row)->Tag())) return source->Child(row);
  if (fetched && !source->Expanded()) tree.RemoveChildren(source);
  return nullptr;
}

// Selects the message, unfolds its source and opens it as a double click does.
void Open(TreeControl& tree, IDocumentHost& host, Node* message) {
  Node* source = message->Parent();
  source->SetExpanded(true);
  tree.SetSelectedItem(message);
  PanelActions::OpenMessage(tree, host, source->Key(), message->Tag());
}

std::string Plural(std::size_t count) {
  return GroupedNumber(count) + (count == 1 ? " message" : " messages");
}

bool Asked(const std::string& question) {
  return Services::MessageBox().Show(question, "Mark as Read?",
                                     Services::vbYesNoQuestionDefaultNo) == Services::vbYes;
}

// Marks a source's messages read in its inbox, and its message nodes as the inbox now has them.
std::size_t MarkRead(TreeControl& tree, const std::string& sourceId) {
  const std::optional<std::size_t> marked = mInbox::MarkAllRead(sourceId);
  if (!marked) return 0;
  if (Node* source = tree.Find(sourceId)) {
    for (std::size_t row = 0; row < source->ChildCount(); ++row) {
      source->Child(row)->SetImage(MessageTreeImage::Read);
      source->Child(row)->SetBold(false);
    }
  }
  return *marked;
}

// Keeps characters a file name can hold on the desktops the file may travel to.
std::string SafeName(const std::string& title) {
  std::string name;
  for (const char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      name += ' ';
    } else if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      name += '_';
    } else {
      name += c;
    }
  }
  // Dots and blanks at either end would hide the file or vanish on some desktops.
  const std::size_t first = name.find_first_not_of(" .");
  if (first == std::string::npos) return "Message";
  name = name.substr(first, name.find_last_not_of(" .") + 1 - first);
  return MessageActions::ProposedFileName(name);
}

// Creates the file only when no file of that name exists.
bool WriteNew(const std::string& path, const std::string& text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wbx"),
                                                       &std::fclose);
  if (!file) return false;
  return std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
}

}  // namespace

Node* FindNextUnread(TreeControl& tree, const Node* from, const UnreadLookup& unread) {
  std::vector<Node*> sources;
  for (Node* node : tree.TopLevelNodes())
    if (IsSource(node)) sources.push_back(node);
  if (sources.empty()) return nullptr;
  // Where the walk starts: after the from node in its source, or at the top.
  std::size_t start = 0;
  std::size_t startRow = 0;
  const Node* fromSource = from && IsSource(from) ? from : from ? from->Parent() : nullptr;
  for (std::size_t i = 0; fromSource && i < sources.size(); ++i) {
    if (sources[i] != fromSource) continue;
    start = i;
    startRow = from == fromSource ? 0 : from->Row() + 1;
  }
  for (std::size_t step = 0; step <= sources.size(); ++step) {
    Node* source = sources[(start + step) % sources.size()];
    // The start source twice: after the from node first, up to and with it last.
    const std::size_t first = step == 0 ? startRow : 0;
    const std::size_t end = step == sources.size() ? startRow : SIZE_MAX;
    if (Node* found = UnreadIn(tree, source, first, end, unread)) return found;
  }
  return nullptr;
}

void Trail::Opened(const Message& message) {
  if (!m_messages.empty() && m_messages.back() == message) return;
  m_messages.push_back(message);
  if (m_messages.size() > kTrailLength) m_messages.erase(m_messages.begin());
}

std::optional<Message> Trail::Back() {
  if (m_messages.size() < 2) return std::nullopt;
  m_messages.pop_back();
  return m_messages.back();
}

bool OpenNextUnread(TreeControl& tree, IDocumentHost& host, const UnreadLookup& unread,
                    Trail& trail) {
  Node* message = FindNextUnread(tree, tree.SelectedItem(), unread);
  if (!message) return false;
  trail.Opened({message->Parent()->Key(), message->Tag()});
  Open(tree, host, message);
  return true;
}

bool OpenPrevious(TreeControl& tree, IDocumentHost& host, Trail& trail) {
  while (const std::optional<Message> previous = trail.Back()) {
    Node* source = tree.Find(previous->sourceId);
    if (!IsSource(source)) continue;
    tree.FetchChildren(source);
    for (std::size_t row = 0; row < source->ChildCount(); ++row) {
      if (source->Child(row)->Tag() != previous->guid) continue;
      Open(tree, host, source->Child(row));
      return true;
    }
    // Deleted since: the one before it.
  }
  return false;
}

bool SelectMessage(TreeControl& tree, const Message& message) {
  Node* source = tree.Find(message.sourceId);
  if (!IsSource(source)) return false;
  tree.FetchChildren(source);
  for (std::size_t row = 0; row < source->ChildCount(); ++row) {
    if (source->Child(row)->Tag() != message.guid) continue;
    source->SetExpanded(true);
    tree.SetSelectedItem(source->Child(row));
    return true;
  }
  tree.SetSelectedItem(source);
  return false;
}

std::string GroupedNumber(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

Node* SourceOf(Node* node) {
  if (node && !node->IsTopLevel()) node = node->Parent();
  return IsSource(node) ? node : nullptr;
}

std::size_t UnreadCount(const Node& source, const UnreadLookup& unread) {
  // Shown messages may have just changed: the inbox says. Otherwise the count, when known.
  if (source.ChildrenPending()) {
    if (const std::optional<std::size_t> count = unread ? unread(source.Key()) : std::nullopt)
      return *count;
  }
  return UnreadGuids(source.Key()).size();
}

std::size_t MarkSourceRead(TreeControl& tree, const std::string& sourceId, std::size_t unread) {
  const Node* source = tree.Find(sourceId);
  if (!IsSource(source) || unread == 0) return 0;
  if (!Asked("Mark " + Plural(unread) + " of " + source->Text() + " as read?")) return 0;
  // Another machine learns of it as one action, not one per message.
  const Sync::Engine::ReadUpToScope upToNow = Sync::ReadingUpToNow(sourceId);
  return MarkRead(tree, sourceId);
}

std::size_t MarkAllRead(TreeControl& tree, const UnreadLookup& unread) {
  std::vector<std::string> ids;
  std::size_t total = 0;
  for (const Node* node : tree.TopLevelNodes()) {
    if (!IsSource(node)) continue;
    const std::size_t count = UnreadCount(*node, unread);
    if (count > 0) ids.push_back(node->Key());
    total += count;
  }
  if (total == 0) return 0;
  const std::string whose = ids.size() == 1 ? "of " + tree.Find(ids[0])->Text()
                                            : "in " + GroupedNumber(ids.size()) + " sources";
  if (!Asked("Mark " + Plural(total) + " " + whose + " as read?")) return 0;
  std::size_t marked = 0;
  const Sync::Engine::ReadUpToScope upToNow = Sync::ReadingUpToNow({});
  // The box let events run: a source may be gone.
  for (const std::string& id : ids)
    if (tree.Find(id)) marked += MarkRead(tree, id);
  return marked;
}

std::string ExportFileName(const std::string& date, const std::string& title,
                           const std::string& extension) {
  std::string name;
  if (const std::optional<std::int32_t> day = mInbox::DayNumber(date)) {
    namespace chrono = std::chrono;
    constexpr chrono::sys_days kFirstDay{chrono::year{2000} / chrono::January / 1};
    const chrono::year_month_day ymd{kFirstDay + chrono::days{*day}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    name = text;
  }
  return name + SafeName(title) + "." + extension;
}

std::optional<std::size_t> ExportMessages(const std::string& sourceId, const std::string& folder) {
  const std::optional<std::vector<mInbox::InboxItem>> items = mInbox::LoadAll(sourceId);
  if (!items) return std::nullopt;
  std::size_t written = 0;
  for (const mInbox::InboxItem& item : *items) {
    const std::string name = ExportFileName(item.date, item.title, "html");
    const std::string stem = name.substr(0, name.size() - 5);
    const std::string text = MessageActions::BuildHtmlExport(item) + "\r\n";
    for (int number = 1; number < 10'000; ++number) {
      const std::string file = number == 1 ? name : stem + " (" + std::to_string(number) + ").html";
      errno = 0;
      if (WriteNew(mGeneralFunctions::AddBackslash(folder) + file, text)) {
        ++written;
        break;
      }
      if (errno != EEXIST) break;
    }
  }
  return written;
}

}  // namespace ReadingFlow
