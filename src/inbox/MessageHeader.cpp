#include "inbox/MessageHeader.h"

#include "core/AsciiText.h"
#include "core/mGeneralFunctions.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace mInbox {

namespace {

constexpr std::string_view kHeaderStart = "header start:";
constexpr std::string_view kHeaderEnd = "header end";
constexpr std::string_view kHeaderEndTag = "header end -->";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Skips whole characters, so a cut never splits a UTF-8 sequence.
std::size_t SkipCharacters(std::string_view text, std::size_t from, std::size_t count) {
  std::size_t at = std::min(from, text.size());
  for (; count > 0 && at < text.size(); --count) {
    ++at;
    while (at < text.size() && IsContinuationByte(text[at])) ++at;
  }
  return at;
}

// The text after a marker and `extra` further characters; empty when the marker is missing, so
// a field without its name stays empty instead of taking text from an arbitrary place.
std::string_view After(std::string_view text, std::size_t found, std::size_t markerLength,
                       std::size_t extra) {
  if (found == std::string_view::npos) return {};
  return text.substr(SkipCharacters(text, found + markerLength, extra));
}

// The text before the first occurrence of the marker, or all of it when the marker is missing
// (the cut would have a negative length).
std::string_view Before(std::string_view text, std::string_view lowerMarker) {
  const std::size_t end = AsciiText::Lower(text).find(lowerMarker);
  return end == std::string::npos ? text : text.substr(0, end);
}

// "Name" <address> without quotes: the name before the first "<" and the address after it with
// every ">" removed; without "<" the whole value is the address.
void SplitAddress(std::string value, std::string& name, std::string& email) {
  std::erase(value, '"');
  const std::size_t open = value.find('<');
  if (open == std::string::npos) {
    name.clear();
    email = std::move(value);
    return;
  }
  name = value.substr(0, open);
  email = value.substr(open + 1);
  std::erase(email, '>');
}

// The header block between its markers; none without either marker.
std::optional<std::string_view> HeaderBlock(std::string_view description) {
  const std::size_t start = description.find(kHeaderStart);
  if (start == std::string_view::npos) return std::nullopt;
  const std::string_view block = After(description, start, kHeaderStart.size(), 1);
  const std::size_t end = block.find(kHeaderEnd);
  if (end == std::string_view::npos) return std::nullopt;
  return block.substr(0, end);
}

}  // namespace

MessageHeader ParseMessageHeader(std::string_view description) {
  MessageHeader header;

  std::string h(HeaderBlock(description).value_or(std::string_view{}));
  AsciiText::ReplaceAll(h, "&quot;", "\"");
  AsciiText::ReplaceAll(h, "&lt;", "<");
  AsciiText::ReplaceAll(h, "&gt;", ">");
  AsciiText::ReplaceAll(h, "<br />", "");
  AsciiText::ReplaceAll(h, "<p>", "");
  AsciiText::ReplaceAll(h, "</p>", "");
  const std::string lowered = AsciiText::Lower(h);

  // The two characters after "from:" are a blank and the name's opening quote in the usual form.
  const std::string_view from = After(h, lowered.find("from:"), 5, 2);
  SplitAddress(std::string(Before(from, "subject")), header.FromName, header.FromEmail);

  header.Subject = Before(After(h, lowered.find("subject: "), 9, 0), "date");
  header.Date = Before(After(h, lowered.find("date: "), 6, 0), "reply");
  SplitAddress(std::string(After(h, lowered.find("reply-to: "), 10, 0)), header.ReplyToName,
               header.ReplyToEmail);

  // The body follows the block's end tag and what the service puts before the first "}". A
  // description without the tag is all body: nothing of it may be lost.
  const std::size_t endTag = description.find(kHeaderEndTag);
  if (endTag == std::string_view::npos) {
    header.Body = description;
  } else {
    const std::string_view rest = description.substr(endTag + kHeaderEndTag.size());
    const std::size_t brace = rest.find('}');
    header.Body = brace == std::string_view::npos ? rest : rest.substr(brace + 1);
  }
  return header;
}

MessageHeader HeaderOf(const InboxItem& item) {
  MessageHeader header = ParseMessageHeader(item.description);
  if (HeaderBlock(item.description)) return header;
  header.Subject = item.title;
  for (const std::string* part : {&item.date, &item.time, &item.offset}) {
    if (mGeneralFunctions::IsBlank(*part)) continue;
    if (!header.Date.empty()) header.Date += ' ';
    header.Date += *part;
  }
  return header;
}

}  // namespace mInbox
