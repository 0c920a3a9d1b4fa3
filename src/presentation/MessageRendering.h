#pragma once
// Rendering one stored message: its description carries a header block (sender, subject, date,
// reply-to) in front of the body; the fields fill view.tpl, the result goes to item.htm in the
// data folder and a document window opens on it.

#include "inbox/MessageHeader.h"
#include "inbox/mInbox.h"

#include <string>
#include <string_view>

class IDocumentHost;

namespace MessageRendering {

// The header block is the inbox's (inbox/MessageHeader.h); rendering and the exports use it.
using mInbox::HeaderOf;
using mInbox::MessageHeader;
using mInbox::ParseMessageHeader;

// The title cut to four words (split at single spaces) and "...", or unchanged when it has at
// most four.
std::string ShortenTitle(std::string_view title);

// Replaces the tokens FN, FEML, DT, RT, REML, SL and DESC, in that order and case-sensitively,
// each pass working on the result of the one before (so a subject holding "DESC" receives the
// body). Values go in as they are (but see fitNewsletter): the page's content policy keeps what
// they carry inert.
//
// Before that, parts of the template the header has nothing for are left out: a part stands
// between "<!--if NAME-->" and "<!--end NAME-->", NAME one of kOptionalParts; of a part that
// stays only these marks go. The template alone is searched, so no value can remove anything;
// a mark without its end stays.
//
// Two parts follow the desktop's colours: "dark" stays on a dark desktop, "dark-body" there too
// but only for a message that sets neither its text colour nor its background anywhere (it
// expects the light sheet it was written for otherwise).
//
// With fitNewsletter the body goes in rewritten to fit a narrow column (NewsletterFit, tracking
// pictures left out) and the part "fit", the style sheet that goes with it, stays; without, the
// body goes in as sent and "fit" goes (the rendering before fitting, for comparison).
std::string RenderPage(std::string_view templateText, const MessageHeader& header,
                       bool darkDesktop = false, bool fitNewsletter = true);
// Whether the message's HTML sets a text colour or a background anywhere: a bgcolor, background,
// color or (on body) text attribute, or a color or background property in a style attribute or
// a <style> element. Border colours and the like do not count.
bool SetsOwnColours(std::string_view html);
// What each part needs: "subject" a subject, "from" a sender name or address, "from-address" a
// sender address, "date" a date, "reply-to" and "reply-to-address" likewise.
inline constexpr std::string_view kOptionalParts[] = {
    "subject", "from", "from-address", "date", "reply-to", "reply-to-address"};

// The template's name in the program folder and the rendered page's name in the data folder.
inline constexpr std::string_view kTemplateName = "view.tpl";
inline constexpr std::string_view kPageName = "item.htm";

// Shows a message of a source in its document window: focuses the window already open on it, or
// loads the message, renders item.htm and opens a window on that page. Leaves mInbox::SourceID
// and mInbox::CurrentItem naming the message. True when a window now shows the message; false
// when the message is not stored (no box), view.tpl is missing (a box says so) or item.htm
// could not be written (the write reports it), so callers mark as read only what was shown.
bool ShowMessage(const std::string& sourceId, const std::string& messageId, IDocumentHost& host);

}  // namespace MessageRendering
