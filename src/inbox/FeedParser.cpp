#include "inbox/FeedParser.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_set>

namespace mInbox {

namespace {

// The stored form: one line, brackets as parentheses (the file's section headers use brackets).
std::string Encoded(std::string text) {
  for (char& c : text) {
    if (c == '[') {
      c = '(';
    } else if (c == ']') {
      c = ')';
    } else if (c == '\n') {
      c = '\x05';
    }
  }
  return text;
}

InboxItem ReadItem(const XmlNode& element) {
  InboxItem item;
  for (const XmlNode& child : element.ChildNodes()) {
    const std::string name = child.Name();
    if (name == "title") {
      item.title = child.Text();
    } else if (name == "description") {
      item.description = Encoded(child.Text());
    } else if (name == "pubDate") {
      PubDateParts parts = SplitPubDate(child.Text());
      item.date = std::move(parts.date);
      item.time = std::move(parts.time);
      item.offset = std::move(parts.zone);
    } else if (name == "guid") {
      item.guid = NormalizedGuid(child.Text());
    }
  }
  return item;
}

}  // namespace

PubDateParts SplitPubDate(std::string_view text) {
  // A date split across lines by the feed still splits at its white space.
  constexpr std::string_view kBlanks = AsciiText::kWhitespace;
  text = AsciiText::Trim(text, kBlanks);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return {std::string(text), {}, {}};
  const std::size_t blank = text.find_last_of(kBlanks, colon);
  const std::size_t timeStart = blank == std::string_view::npos ? 0 : blank + 1;
  PubDateParts parts;
  parts.date = AsciiText::Trim(text.substr(0, timeStart), kBlanks);
  const std::string_view rest = text.substr(timeStart);
  const std::size_t timeEnd = std::min(rest.find_first_of(kBlanks), rest.size());
  parts.time = rest.substr(0, timeEnd);
  parts.zone = AsciiText::Trim(rest.substr(timeEnd), kBlanks);
  if (parts.zone.empty()) parts.zone = parts.time;
  return parts;
}

namespace {

// The items of a loaded document.
FeedContent ReadDocument(const XmlDocument& document) {
  FeedContent content;
  const XmlNode channel = document.FindFirstElement("channel", "rss");
  if (!channel) {
    content.failure = FeedFailure::NoChannel;
    return content;
  }
  for (const XmlNode& child : channel.ChildNodes()) {
    if (child.Name() == "item") content.items.push_back(ReadItem(child));
  }
  return content;
}

}  // namespace

FeedContent ReadFeed(std::string_view feedText) {
  if (AsciiText::IsBlank(feedText, " ")) return {FeedFailure::Blank, {}};
  XmlDocument document;
  if (!document.LoadText(feedText)) return {FeedFailure::NotXml, {}};
  return ReadDocument(document);
}

FeedFailure StoreFeed(std::string feedText, const std::string& sourceTitle,
                      const SourceState::Answer& answer) {
  NewMessageCount = 0;
  FeedContent feed;
  if (AsciiText::IsBlank(feedText, " ")) return FeedFailure::Blank;
  {
    // The document keeps a copy of the text, and is gone before the inbox is written: on a
    // large feed these are the biggest things in memory.
    XmlDocument document;
    const bool loaded = document.LoadText(feedText);
    // Assigning an empty string would keep the buffer.
    std::string().swap(feedText);
    if (!loaded) return FeedFailure::NotXml;
    feed = ReadDocument(document);
  }
  if (feed.failure != FeedFailure::None) return feed.failure;
  if (!feed.items.empty()) CurrentItem = feed.items.back();
  std::erase_if(feed.items, [](const InboxItem& item) { return item.guid.empty(); });
  // The clock stands in for the time the answer arrived when the server sent no Date.
  const std::int64_t nowMs = Services::Clock().NowMs();

  // The state read, the messages stored and the state written as one step for the source.
  const std::string sourceId = SourceID;
  const SourceLock lock = LockSource(sourceId);
  // Deleted stays deleted while the feed carries the guid, and for a while after.
  SourceState::State state = SourceState::Load(sourceId);
  const SourceState::State before = state;
  if (!state.deleted.empty()) {
    std::unordered_set<std::string> carried;
    for (const InboxItem& item : feed.items) carried.insert(AsciiText::Lower(item.guid));
    SourceState::UpdateDeletions(state.deleted, carried, SourceState::DayOf(nowMs));
    std::unordered_set<std::string> deleted;
    for (const auto& deletion : state.deleted) deleted.insert(AsciiText::Lower(deletion.guid));
    std::erase_if(feed.items, [&deleted](const InboxItem& item) {
      return deleted.contains(AsciiText::Lower(item.guid));
    });
  }
  const SourceState::Validators validators = SourceState::ValidatorsToRecord(answer, nowMs);

  // One read and one rewrite of the inbox for the whole feed, however many items it brings.
  std::size_t stored = 0;
  SourceState::Holding holding;
  std::vector<std::string> deletedByRules;
  if (!feed.items.empty() || !validators.Empty()) {
    const std::optional<std::size_t> added = AddNewInboxItems(
        sourceId, feed.items, validators.Empty() ? nullptr : &holding, &deletedByRules);
    // The feed still carries them, so nothing is lost, but the user must know they are missing.
    if (!added) return FeedFailure::NotStored;
    stored = *added;
  }
  // Kept out by a rule: remembered as a deletion by hand is, seen in today's answer.
  for (std::string& guid : deletedByRules) state.deleted.push_back({std::move(guid), std::nullopt});
  state.validators = validators;
  state.holding.reset();
  if (!validators.Empty()) state.holding = holding;
  // Only now, so that a store that failed or was cut short fetches in full next time.
  if (state != before) SourceState::Save(sourceId, state);

  NewMessageCount = static_cast<std::int16_t>(
      std::min<std::size_t>(stored, std::numeric_limits<std::int16_t>::max()));
  if (stored > 0) {
    RunSummary += "You have " + std::to_string(stored) + " New Messages \r\n in " + sourceTitle +
                  " account.\r\n\r\n";
  }
  return FeedFailure::None;
}

void ShowFeedFailure(FeedFailure failure, const std::string& sourceTitle,
                     const std::string& detail) {
  const std::string failed = "Process of checking for new Messages failed! ";
  std::string text, title;
  switch (failure) {
    case FeedFailure::None:
      return;
    case FeedFailure::Blank:
      text = failed + "Server returned empty Data stream.";
      title = "Error!";
      break;
    case FeedFailure::NotXml:
      text = failed + "Server returned data in invalid format.";
      title = "Server returned Invalid Data!";
      break;
    case FeedFailure::NoChannel:
      text = failed + "Data returned by Server is not in expected format.";
      title = "Server returned Data in unsupported format!";
      break;
    case FeedFailure::NotStored:
      text = "New Messages of " + sourceTitle + " could not be stored in " +
             mAppFunctions::DataPath +
             ". Please check that this folder can be written and has free space.";
      title = "Messages not stored!";
      break;
  }
  if (!detail.empty()) text += "\r\n" + detail;
  Services::MessageBox().Show(text, title, Services::vbOKOnly + Services::vbExclamation);
}

std::string FailureReason(FeedFailure failure) {
  switch (failure) {
    case FeedFailure::None:
      break;
    case FeedFailure::Blank:
      return "the server sent an empty answer";
    case FeedFailure::NotXml:
      return "the answer is not XML";
    case FeedFailure::NoChannel:
      return "the answer holds no RSS channel";
    case FeedFailure::NotStored:
      return "its new messages could not be stored in " + mAppFunctions::DataPath;
  }
  return {};
}

bool ParseFeed(const std::string& feedText, const std::string& sourceTitle) {
  const FeedFailure failure = StoreFeed(feedText, sourceTitle);
  ShowFeedFailure(failure, sourceTitle);
  return failure == FeedFailure::None;
}

}  // namespace mInbox
