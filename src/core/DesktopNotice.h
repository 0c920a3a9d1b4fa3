#pragma once
// What the desktop's notification service is given for a notice (a check's summary, the
// failures of an automatic check): a short summary line and a body in the service's small
// markup, so that a title holding "<" or "&" reads as written, and long notices stay readable.

#include <string>
#include <string_view>

namespace DesktopNotice {

struct Notice {
  std::string summary;
  std::string body;
  bool operator==(const Notice&) const = default;
};

// Body lines beyond this many are left out, with a last line saying how many.
inline constexpr int kMaxBodyLines = 12;

// From the notice's text as the program's own notice shows it (CR LF or LF line ends, empty lines
// between paragraphs): the summary says what kind of notice it is; the body keeps the text's
// lines without the empty ones, escaped for the markup.
Notice Compose(std::string_view text);

}  // namespace DesktopNotice
