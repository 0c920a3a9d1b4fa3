#pragma once
// Newsletters are laid out for e-mail: a table of a fixed 600 pixels or so, cells and pictures of
// fixed widths, inline styles, and 1x1 pictures that tell the sender the message was opened. A
// reading column is often narrower. Fit rewrites a message body so that it reflows into any
// column without scrolling sideways: fixed widths become widths that may shrink, and tracking
// pictures go before the page loads, so they are never fetched, whether pictures are shown or
// not. The template's style sheet does the rest (pictures scaled to the column).
//
// Only the tags that need a change are rewritten; every other byte of the body stays as sent.

#include <string>
#include <string_view>

namespace NewsletterFit {

// The body with these changes, each in a tag's own attributes and inline style:
// - <img> declared at most 2 px wide or high (attribute or inline style), or hidden by its inline
//   style (display: none, visibility: hidden, opacity: 0), is left out.
// - A <table> of a fixed pixel width W gets "width:100%;max-width:Wpx": as wide as it was laid
//   out, or the column, whichever is less.
// - A <td>, <th> or <col> of a fixed pixel width gets that width as a share of its table's fixed
//   width (300 in a 600-pixel table: 50%), or no width when the table's is not fixed: a fixed
//   cell width is a minimum the table never shrinks below.
// - Any other element with a fixed pixel width W over 100 in its inline style (or an <hr> in its
//   attribute) gets "width:min(100%,Wpx)" instead, padding and border included.
// - Pixel minimum widths (min-width) go. Rules of <style> elements change as inline styles do
//   (those inside @media and the like excepted).
// Comments (Outlook's conditional parts among them), scripts and text are not touched.
std::string Fit(std::string_view html);

}  // namespace NewsletterFit
