#pragma once
// A message body (HTML as feeds send it, often only a fragment) as plain text, for the text
// export and the search index: what a reader of the page sees, without the markup.

#include <string>
#include <string_view>

namespace HtmlText {

// The text export writes a link as its text followed by its address; the search index takes only
// what the page shows: no addresses, a picture's alt text in its place, nothing an inline style
// or the hidden attribute hides (display:none, visibility:hidden, opacity:0, font-size:0, no
// height with overflow hidden), so that share buttons and tracking addresses find nothing.
enum class Purpose { Export, Search };

// Tags are dropped, with the content of script, style, head, title and template elements;
// character references are decoded (named, decimal, hexadecimal; &#128; to &#159; as
// Windows-1252, as browsers read them; unknown ones stay as written). White space collapses as
// a browser collapses it, except inside pre. Paragraphs, headings, block quotes, tables and
// lists stand apart by an empty line; line breaks, divisions, table rows and list items start
// a line, list items with "- " (or "1. " in a numbered list), indented by their depth. For the
// export a link reads as its text followed by its address in angle brackets, unless the text is
// the address or the address only points into the page. Lines end in CR LF, without trailing
// blanks; no empty line starts or ends the text, and never two follow each other.
std::string ToText(std::string_view html, Purpose purpose = Purpose::Export);

// The text with its character references decoded as ToText decodes them; everything else, tags
// included, stays as written.
std::string DecodeReferences(std::string_view text);

}  // namespace HtmlText
