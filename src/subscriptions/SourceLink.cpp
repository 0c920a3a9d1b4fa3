#include "subscriptions/SourceLink.h"

#include "core/AsciiText.h"

#include <cctype>

namespace SourceLink {

bool NamesServiceHost(std::string_view link) {
  return AsciiText::ContainsNoCase(link, kServiceHost);
}

bool NamesServiceHostAsTyped(std::string_view link) {
  return link.find(kServiceHost) != std::string_view::npos;
}

std::optional<std::string> Normalized(std::string_view typed) {
  const std::string_view link = AsciiText::Trim(typed, AsciiText::kWhitespace);
  // A scheme: a letter, then letters, digits, "+", "-" or "."; then ":". With "//" after the
  // colon it always is one; without, only when it holds no dot and no port follows, so that
  // "news.quillpost.test:8080/x" and "localhost:8080/x" stay host names.
  const std::size_t colon = link.find(':');
  bool hasScheme = false;
  if (colon != std::string_view::npos && colon > 0 &&
      std::isalpha(static_cast<unsigned char>(link[0]))) {
    const std::string_view scheme = link.substr(0, colon);
    const bool schemeChars =
        scheme.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") ==
        std::string_view::npos;
    const std::string_view rest = link.substr(colon + 1);
    const std::size_t digits = rest.find_first_not_of("0123456789");
    const bool port = digits != 0 && (digits == std::string_view::npos || rest[digits] == '/' ||
                                      rest[digits] == '?' || rest[digits] == '#');
    hasScheme = schemeChars &&
                (rest.starts_with("//") || (scheme.find('.') == std::string_view::npos && !port));
  }
  if (!hasScheme) return "http://" + std::string(link);
  const std::string scheme = AsciiText::Lower(link.substr(0, colon));
  if (scheme != "http" && scheme != "https") return std::nullopt;
  return std::string(link);
}

}  // namespace SourceLink
