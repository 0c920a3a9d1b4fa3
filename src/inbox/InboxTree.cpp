#include "inbox/InboxTree.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "inbox/mInbox.h"

#include <algorithm>
#include <array>
#include <chrono>
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
void ResetNode(TreeControl& tree, const std::string& key) {
  TreeControl::Node* node = tree.Find(key);
  if (!node || !node->IsTopLevel()) return;
  const std::string text = node->Text();
  const std::string tag = node->Tag();
  tree.SetSorted(false);
  tree.Remove(node);
  if (TreeControl::Node* fresh =
          tree.Add(key, text, MessageTreeImage::Source, MessageTreeImage::Source)) {
    fresh->SetTag(tag);
  }
  tree.SetSorted(true);
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

void ResetSourceNode(TreeControl& tree) { ResetNode(tree, SourceID); }

void LoadInbox(TreeControl& tree) {
  // Window events run below and may choose another source meanwhile.
  const std::string sourceID = SourceID;
  const TreeControl::Node* node = tree.Find(sourceID);
  if (!node || !node->IsTopLevel()) return;
  std::optional<std::vector<MessageSummary>> messages = ListMessages();
  if (!messages) return;

  struct Row {
    MessageSummary message;
    std::int64_t order = 0;
  };
  std::vector<Row> rows;
  rows.reserve(messages->size());
  for (MessageSummary& message : *messages) {
    const std::optional<std::int32_t> day = DayNumber(message.date);
    // A date that cannot be read sorts after every real one.
    rows.push_back({std::move(message), day ? *day : std::numeric_limits<std::int64_t>::min()});
  }
  // Newest day first, file order within a day.
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.order > b.order; });

  Services::Clock().ProcessEvents();
  // The events may have rebuilt the tree or loaded this source meanwhile: reset only now, and
  // only a node that is still there.
  TreeControl::UpdateGuard batch(tree);
  ResetNode(tree, sourceID);
  TreeControl::Node* source = tree.Find(sourceID);
  if (!source || !source->IsTopLevel()) return;
  for (Row& row : rows) {
    const int image = row.message.read + MessageTreeImage::Unread;
    TreeControl::Node* child =
        tree.AddChild(source, std::string(), std::move(row.message.title), image);
    if (!child) continue;
    child->SetTag(std::move(row.message.guid));
    child->SetBold(image == MessageTreeImage::Unread);
  }
}

}  // namespace mInbox
