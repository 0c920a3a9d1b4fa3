#include "inbox/InboxTree.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/SourceId.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/MessageOrder.h"
#include "inbox/mInbox.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace mInbox {

namespace {

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    pos = std::min(text.find_first_not_of(AsciiText::kWhitespace, pos), text.size());
    const std::size_t end = std::min(text.find_first_of(AsciiText::kWhitespace, pos), text.size());
    if (end > pos) words.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

std::optional<int> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// 1..12 for an English month name or its three-letter abbreviation, any letter case.
std::optional<unsigned> MonthNumber(std::string_view word) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "january", "february", "march",     "april",   "may",      "june",
      "july",    "august",   "september", "october", "november", "december"};
  if (word.size() < 3) return std::nullopt;
  const std::string lower = AsciiText::Lower(word);
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (lower == kMonths[i] || lower == kMonths[i].substr(0, 3)) return i + 1;
  }
  return std::nullopt;
}

// Puts back an empty top-level node in place of the one with that key.
TreeControl::Node* ResetNode(TreeControl& tree, const std::string& key) {
  TreeControl::Node* node = tree.Find(key);
  if (!node || !node->IsTopLevel()) return nullptr;
  const std::string text = node->Text();
  const std::string tag = node->Tag();
  tree.SetSorted(false);
  tree.Remove(node);
  TreeControl::Node* fresh =
      tree.Add(key, text, MessageTreeImage::Source, MessageTreeImage::Source);
  if (fresh) fresh->SetTag(tag);
  tree.SetSorted(true);
  return fresh;
}

// The message nodes of a source, newest day first and newest first within a day; file order
// among equals.
std::vector<TreeControl::NewChild> MessageNodes(std::vector<MessageSummary> messages) {
  struct Row {
    MessageSummary* message;
    std::pair<std::int64_t, std::int64_t> order;  // day, then the time in UTC
  };
  constexpr std::int64_t kUnknown = std::numeric_limits<std::int64_t>::min();
  std::vector<Row> rows;
  rows.reserve(messages.size());
  for (MessageSummary& message : messages) {
    // A date or time that cannot be read sorts after every real one.
    const MessageTime when = TimeOf(message.date, message.time, message.offset);
    rows.push_back(
        {&message,
         {when.day ? *when.day : kUnknown, when.day && when.seconds ? *when.seconds : kUnknown}});
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.order > b.order; });
  std::vector<TreeControl::NewChild> nodes;
  nodes.reserve(rows.size());
  for (const Row& row : rows) {
    const int image = row.message->read + MessageTreeImage::Unread;
    nodes.push_back({std::string(), std::move(row.message->title), image,
                     std::move(row.message->guid), image == MessageTreeImage::Unread,
                     SpokenDate(row.message->date)});
  }
  return nodes;
}

// Whether the source's messages can be listed, its folder made as ListMessages would make it.
bool ListsMessages(const std::string& sourceID) {
  if (mGeneralFunctions::IsBlank(mAppFunctions::DataPath) || !SourceId::IsSourceID(sourceID))
    return false;
  std::error_code ec;
  std::filesystem::create_directory(
      mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + sourceID, ec);
  return true;
}

}  // namespace

std::optional<std::int32_t> DayNumber(std::string_view dateText) {
  const std::size_t comma = dateText.find(',');
  if (comma != std::string_view::npos) dateText.remove_prefix(comma + 1);
  const std::vector<std::string_view> words = Words(dateText);
  if (words.size() < 3) return std::nullopt;
  const std::optional<int> dayOfMonth = words[0].size() <= 2 ? Number(words[0]) : std::nullopt;
  const std::optional<unsigned> monthOfYear = MonthNumber(words[1]);
  std::optional<int> year = Number(words[2]);
  if (!dayOfMonth || !monthOfYear || !year) return std::nullopt;
  if (words[2].size() == 2) {
    *year += *year < 50 ? 2000 : 1900;  // two-digit years as mail dates read them
  } else if (words[2].size() != 4) {
    return std::nullopt;
  }
  namespace chrono = std::chrono;
  const chrono::year_month_day date{chrono::year{*year}, chrono::month{*monthOfYear},
                                    chrono::day{static_cast<unsigned>(*dayOfMonth)}};
  if (!date.ok()) return std::nullopt;
  constexpr chrono::sys_days kFirstDay{chrono::year{2000} / chrono::January / 1};
  return static_cast<std::int32_t>((chrono::sys_days{date} - kFirstDay).count());
}

std::string SpokenDate(std::string_view dateText) {
  const std::optional<std::int32_t> day = DayNumber(dateText);
  if (!day) return std::string(AsciiText::Trim(dateText));
  namespace chrono = std::chrono;
  constexpr chrono::sys_days kFirstDay{chrono::year{2000} / chrono::January / 1};
  const chrono::year_month_day date{kFirstDay + chrono::days{*day}};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return std::to_string(static_cast<unsigned>(date.day())) + " " +
         kMonths[static_cast<unsigned>(date.month()) - 1] + " " +
         std::to_string(static_cast<int>(date.year()));
}

void ResetSourceNode(TreeControl& tree) { ResetNode(tree, SourceID); }

void LoadInbox(TreeControl& tree) {
  // Window events run below and may choose another source meanwhile.
  LoadInbox(tree, SourceID);
}

void LoadInbox(TreeControl& tree, const std::string sourceID) {
  TreeControl::Node* node = tree.Find(sourceID);
  if (!node || !node->IsTopLevel()) return;
  if (!node->Expanded() && node->ChildCount() == 0) {
    // Nothing of it is shown: it is read once it is unfolded. Its folder is made as a read would.
    if (!ListsMessages(sourceID)) return;
    // Inside a batch (the sources being loaded) the view starts afresh anyway; otherwise a fresh
    // node lets it ask again whether there is anything to unfold.
    if (tree.Updating()) {
      node->SetChildrenOnDemand(true);
      return;
    }
    TreeControl::UpdateGuard batch(tree);
    if (TreeControl::Node* fresh = ResetNode(tree, sourceID)) fresh->SetChildrenOnDemand(true);
    return;
  }
  std::optional<std::vector<MessageSummary>> messages = ListMessages(sourceID);
  if (!messages) return;
  std::vector<TreeControl::NewChild> nodes = MessageNodes(std::move(*messages));

  Services::Clock().ProcessEvents();
  // The events may have rebuilt the tree or loaded this source meanwhile: reset only now, and
  // only a node that is still there.
  TreeControl::UpdateGuard batch(tree);
  TreeControl::Node* source = ResetNode(tree, sourceID);
  if (!source) return;
  tree.AddChildren(source, std::move(nodes));
  source->SetChildrenOnDemand(true);
}

void ReadSourcesOnDemand(TreeControl& tree) {
  tree.SetChildLoader([](TreeControl::Node& node) {
    if (!node.IsTopLevel()) return;
    std::optional<std::vector<MessageSummary>> messages = ListMessages(node.Key());
    if (messages) node.Tree().AddChildren(&node, MessageNodes(std::move(*messages)));
  });
}

}  // namespace mInbox
