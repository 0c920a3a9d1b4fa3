#pragma once
// Letter case and blanks the way this program's files and feeds use them: ASCII only. Bytes
// outside ASCII are never changed or matched, so UTF-8 text passes through whole.

#include <string>
#include <string_view>

namespace AsciiText {

// Blanks around INI names and values.
inline constexpr std::string_view kBlanks = " \t";
// XML white space: what an XML reader trims from element text.
inline constexpr std::string_view kWhitespace = " \t\r\n";

constexpr char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string Lower(std::string_view text);

bool EqualsNoCase(std::string_view a, std::string_view b);
// Order of ASCII letters without case; other bytes by their value.
bool LessNoCase(std::string_view a, std::string_view b);
// Whether `text` holds `part` (which must be lower case) in any letter case.
bool ContainsNoCase(std::string_view text, std::string_view lowerPart);

// Backslash, tab, CR and LF written as \\, \t, \r and \n, so that a text stays on one line and
// reads back exactly.
std::string Escaped(std::string_view text);

// Replaces every occurrence of `what` (exact bytes), scanning on after each replacement.
void ReplaceAll(std::string& text, std::string_view what, std::string_view with);

// The text without the given characters at either end.
std::string_view Trim(std::string_view text, std::string_view chars = kBlanks);
// True when the text holds nothing but the given characters (or nothing at all).
bool IsBlank(std::string_view text, std::string_view chars = kBlanks);

}  // namespace AsciiText
