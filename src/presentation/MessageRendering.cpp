#include "presentation/MessageRendering.h"

#include "core/AsciiText.h"
#include "core/DocumentHost.h"
#include "core/Services.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"

#include <algorithm>
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

// Drops each optional part the header has nothing for; of the others only the marks go.
void LeaveOutEmptyParts(std::string& page, const MessageHeader& header) {
  for (const std::string_view part : kOptionalParts) {
    const bool shows = Shows(part, header);
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

std::string RenderPage(std::string_view templateText, const MessageHeader& header) {
  std::string page(templateText);
  LeaveOutEmptyParts(page, header);
  AsciiText::ReplaceAll(page, "FN", mGeneralFunctions::IsBlank(header.FromName) ? "" : header.FromName + " ");
  AsciiText::ReplaceAll(page, "FEML", header.FromEmail);
  AsciiText::ReplaceAll(page, "DT", header.Date);
  AsciiText::ReplaceAll(page, "RT", header.ReplyToName);
  AsciiText::ReplaceAll(page, "REML", header.ReplyToEmail);
  AsciiText::ReplaceAll(page, "SL", header.Subject);
  AsciiText::ReplaceAll(page, "DESC", header.Body);
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
  const std::string page = RenderPage(mGeneralFunctions::ReadTextFile(templatePath), header);

  // A window opened after a failed write would show whichever message item.htm held before.
  const std::string pagePath =
      mGeneralFunctions::AddBackslash(mAppFunctions::DataPath) + std::string(kPageName);
  if (!mGeneralFunctions::WriteTextFile(pagePath, page)) return false;

  host.OpenDocument(messageId, ShortenTitle(mInbox::CurrentItem.title), pagePath);
  return true;
}

}  // namespace MessageRendering
