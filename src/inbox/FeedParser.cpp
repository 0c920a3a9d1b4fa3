#include "inbox/FeedParser.h"

#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace mInbox {

namespace {

bool Fail(const std::string& text, const std::string& title) {
  Services::MessageBox().Show(text, title, Services::vbOKOnly + Services::vbExclamation);
  return false;
}

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

FeedContent ReadFeed(std::string_view feedText) {
  FeedContent content;
  if (AsciiText::IsBlank(feedText, " ")) {
    content.failure = FeedFailure::Blank;
    return content;
  }
  XmlDocument document;
  if (!document.LoadText(feedText)) {
    content.failure = FeedFailure::NotXml;
    return content;
  }
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

bool ParseFeed(const std::string& feedText, const std::string& sourceTitle) {
  NewMessageCount = 0;
  // The document is gone before the inbox is written: on a large feed it is the biggest thing
  // in memory.
  FeedContent feed = ReadFeed(feedText);
  switch (feed.failure) {
    case FeedFailure::None:
      break;
    case FeedFailure::Blank:
      return Fail("Process of checking for new Messages failed! Server returned empty Data stream.",
                  "Error!");
    case FeedFailure::NotXml:
      return Fail(
          "Process of checking for new Messages failed! Server returned data in invalid format.",
          "Server returned Invalid Data!");
    case FeedFailure::NoChannel:
      return Fail(
          "Process of checking for new Messages failed! Data returned by Server is not in "
          "expected format.",
          "Server returned Data in unsupported format!");
  }
  if (!feed.items.empty()) CurrentItem = feed.items.back();
  std::erase_if(feed.items, [](const InboxItem& item) { return item.guid.empty(); });
  // One read and one rewrite of the inbox for the whole feed, however many items it brings.
  std::size_t stored = 0;
  if (!feed.items.empty()) {
    const std::optional<std::size_t> added = AddNewInboxItems(feed.items);
    // The feed still carries them, so nothing is lost, but the user must know they are missing.
    if (!added) {
      return Fail("New Messages of " + sourceTitle + " could not be stored in " +
                      mAppFunctions::DataPath +
                      ". Please check that this folder can be written and has free space.",
                  "Messages not stored!");
    }
    stored = *added;
  }
  NewMessageCount = static_cast<std::int16_t>(
      std::min<std::size_t>(stored, std::numeric_limits<std::int16_t>::max()));
  if (stored > 0) {
    RunSummary += "You have " + std::to_string(stored) + " New Messages \r\n in " + sourceTitle +
                  " account.\r\n\r\n";
  }
  return true;
}

}  // namespace mInbox
