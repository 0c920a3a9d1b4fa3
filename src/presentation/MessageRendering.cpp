#include "presentation/MessageRendering.h"

#include "core/AsciiText.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/NewsletterFit.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <optional>

namespace MessageRendering {

namespace {

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

std::string RenderPage(std::string_view templateText, const MessageHeader& header, bool darkDesktop,
                       bool fitNewsletter) {
  std::string page(templateText);
  LeaveOutEmptyParts(page, header);
  KeepPart(page, "dark", darkDesktop);
  KeepPart(page, "dark-body", darkDesktop && !SetsOwnColours(header.Body));
  KeepPart(page, "fit", fitNewsletter);
  AsciiText::ReplaceAll(page, "FN", mGeneralFunctions::IsBlank(header.FromName) ? "" : header.FromName + " ");
  AsciiText::ReplaceAll(page, "FEML", header.FromEmail);
  AsciiText::ReplaceAll(page, "DT", header.Date);
  AsciiText::ReplaceAll(page, "RT", header.ReplyToName);
  AsciiText::ReplaceAll(page, "REML", header.ReplyToEmail);
  AsciiText::ReplaceAll(page, "SL", header.Subject);
  AsciiText::ReplaceAll(page, "DESC",
                        fitNewsletter ? NewsletterFit::Fit(header.Body) : header.Body);
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

  host.OpenDocument(messageId, ShortenTitle(mInbox::CurrentItem.title), pagePath, sourceId);
  return true;
}

}  // namespace MessageRendering
