#include "presentation/MessageRendering.h"

#include "core/AsciiText.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <optional>

namespace MessageRendering {

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

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  if (what.empty()) return;
  std::string result;
  std::size_t from = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
    result.append(text, from, at - from);
    result.append(with);
    from = at + what.size();
  }
  if (from == 0) return;
  result.append(text, from, std::string::npos);
  text = std::move(result);
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

bool Shows(std::string_view part, const MessageHeader& h) {
  using mGeneralFunctions::IsBlank;
  if (part == "subject") return !IsBlank(h.Subject);
  if (part == "from") return !IsBlank(h.FromName) || !IsBlank(h.FromEmail);
  if (part == "from-address") return !IsBlank(h.FromEmail);
  if (part == "date") return !IsBlank(h.Date);
  if (part == "reply-to") return !IsBlank(h.ReplyToName) || !IsBlank(h.ReplyToEmail);
  return !IsBlank(h.ReplyToEmail);
}

// Keeps a part (only its marks go) or drops it whole.
void KeepPart(std::string& page, std::string_view part, bool shows) {
  {
    const std::string open = "<!--if " + std::string(part) + "-->";
    const std::string close = "<!--end " + std::string(part) + "-->";
    for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at)) {
      const std::size_t end = page.find(close, at + open.size());
      if (end == std::string::npos) break;
      if (shows) {
        page.erase(end, close.size());
        page.erase(at, open.size());
      } else {
        page.erase(at, end + close.size() - at);
      }
    }
  }
}

// Drops each optional part the header has nothing for; of the others only the marks go.
void LeaveOutEmptyParts(std::string& page, const MessageHeader& header) {
  for (const std::string_view part : kOptionalParts) KeepPart(page, part, Shows(part, header));
}

bool NameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

// A CSS text that names a color or background property: "color:", "background-color :", but not
// "border-color:".
bool CssSetsColours(std::string_view css) {
  const std::string lower = AsciiText::Lower(css);
  for (const std::string_view property : {"color", "background"}) {
    for (std::size_t at = lower.find(property); at != std::string::npos;
         at = lower.find(property, at + 1)) {
      if (at > 0 && NameChar(lower[at - 1])) continue;
      std::size_t end = at + property.size();
      while (end < lower.size() && NameChar(lower[end])) ++end;  // background-color, -image
      while (end < lower.size() && std::isspace(static_cast<unsigned char>(lower[end]))) ++end;
      if (end < lower.size() && lower[end] == ':') return true;
    }
  }
  return false;
}

}  // namespace

MessageHeader ParseMessageHeader(std::string_view description) {
  MessageHeader header;

  std::string h(HeaderBlock(description).value_or(std::string_view{}));
  ReplaceAll(h, "&quot;", "\"");
  ReplaceAll(h, "&lt;", "<");
  ReplaceAll(h, "&gt;", ">");
  ReplaceAll(h, "<br />", "");
  ReplaceAll(h, "<p>", "");
  ReplaceAll(h, "</p>", "");
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

MessageHeader HeaderOf(const mInbox::InboxItem& item) {
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

std::string ShortenTitle(std::string_view title) {
  std::size_t at = 0;
  for (int spaces = 0; spaces < 4; ++spaces) {
    at = title.find(' ', at);
    if (at == std::string_view::npos) return std::string(title);
    ++at;
  }
  return std::string(title.substr(0, at)) + "...";
}

bool SetsOwnColours(std::string_view html) {
  const std::string lower = AsciiText::Lower(html);
  // <style> elements.
  for (std::size_t at = lower.find("<style"); at != std::string::npos;
       at = lower.find("<style", at + 1)) {
    const std::size_t open = lower.find('>', at);
    if (open == std::string::npos) break;
    const std::size_t close = lower.find("</style", open);
    if (CssSetsColours(std::string_view(lower).substr(open + 1, close == std::string::npos
                                                                     ? std::string::npos
                                                                     : close - open - 1)))
      return true;
  }
  // Attributes of every tag.
  for (std::size_t at = lower.find('<'); at != std::string::npos; at = lower.find('<', at + 1)) {
    const std::size_t end = lower.find('>', at);
    const std::string_view tag =
        std::string_view(lower).substr(at, end == std::string::npos ? std::string::npos : end - at);
    const bool body = tag.starts_with("<body");
    for (std::size_t name = 1; name < tag.size(); ++name) {
      if (NameChar(tag[name - 1]) || !NameChar(tag[name])) continue;
      std::size_t stop = name;
      while (stop < tag.size() && NameChar(tag[stop])) ++stop;
      const std::string_view attribute = tag.substr(name, stop - name);
      while (stop < tag.size() && std::isspace(static_cast<unsigned char>(tag[stop]))) ++stop;
      if (stop >= tag.size() || tag[stop] != '=') continue;
      if (attribute == "bgcolor" || attribute == "background" || attribute == "color" ||
          (body && (attribute == "text" || attribute == "link"))) {
        return true;
      }
      if (attribute == "style") {
        ++stop;
        while (stop < tag.size() && std::isspace(static_cast<unsigned char>(tag[stop]))) ++stop;
        const char quote = stop < tag.size() && (tag[stop] == '"' || tag[stop] == '\'') ? tag[stop] : ' ';
        const std::size_t from = quote == ' ' ? stop : stop + 1;
        const std::size_t to = tag.find(quote == ' ' ? ' ' : quote, from);
        if (CssSetsColours(tag.substr(from, to == std::string::npos ? std::string::npos : to - from)))
          return true;
      }
    }
  }
  return false;
}

std::string RenderPage(std::string_view templateText, const MessageHeader& header,
                       bool darkDesktop) {
  std::string page(templateText);
  LeaveOutEmptyParts(page, header);
  KeepPart(page, "dark", darkDesktop);
  KeepPart(page, "dark-body", darkDesktop && !SetsOwnColours(header.Body));
  ReplaceAll(page, "FN", mGeneralFunctions::IsBlank(header.FromName) ? "" : header.FromName + " ");
  ReplaceAll(page, "FEML", header.FromEmail);
  ReplaceAll(page, "DT", header.Date);
  ReplaceAll(page, "RT", header.ReplyToName);
  ReplaceAll(page, "REML", header.ReplyToEmail);
  ReplaceAll(page, "SL", header.Subject);
  ReplaceAll(page, "DESC", header.Body);
  return page;
}

bool ShowMessage(const std::string& sourceId, const std::string& messageId, IDocumentHost& host) {
  mInbox::SourceID = sourceId;
  mInbox::CurrentItem.guid = messageId;
  if (host.FocusDocument(messageId)) return true;
  if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) return false;

  const MessageHeader header = HeaderOf(mInbox::CurrentItem);

  const std::string templatePath =
      mGeneralFunctions::AddBackslash(Services::Environment().ProgramFolder()) +
      std::string(kTemplateName);
  if (!mGeneralFunctions::FileExists(templatePath)) {
    Services::MessageBox().Show(
        "Message details can't be shown. Required Data file to present item description is "
        "missing! Please reinstall the application to resolve this issue.",
        "Error!", Services::vbCritical + Services::vbOKOnly);
    return false;
  }
  const std::string page =
      RenderPage(mGeneralFunctions::ReadTextFile(templatePath), header, host.PrefersDarkPages());

  // A window opened after a failed write would show whichever message item.htm held before.
  const std::string pagePath =
      mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + std::string(kPageName);
  if (!mGeneralFunctions::WriteTextFile(pagePath, page)) return false;

  host.OpenDocument(messageId, ShortenTitle(mInbox::CurrentItem.title), pagePath);
  return true;
}

}  // namespace MessageRendering
