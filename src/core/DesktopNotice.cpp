#include "core/DesktopNotice.h"

#include "core/AsciiText.h"

#include <vector>

namespace DesktopNotice {

namespace {

std::string Escaped(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (const char c : line) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

Notice Compose(std::string_view text) {
  // One body line per paragraph: its lines (a summary paragraph has two) joined by a blank.
  std::vector<std::string> lines;
  bool newMessages = false, failures = false, stopped = false, inParagraph = false;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = AsciiText::Trim(text.substr(start, end - start), " \t\r");
    start = end + 1;
    if (line.empty()) {
      inParagraph = false;
      continue;
    }
    newMessages = newMessages || line.starts_with("You have ");
    failures = failures || line.starts_with("Could not check ");
    stopped = stopped || line.starts_with("Check stopped ");
    if (inParagraph) {
      lines.back() += ' ';
      lines.back() += line;
    } else {
      lines.emplace_back(line);
    }
    inParagraph = true;
  }
  Notice notice;
  notice.summary = failures && !newMessages ? "Quillpost: some sources could not be checked"
                   : stopped                 ? "Quillpost: check stopped"
                   : newMessages             ? "Quillpost: new messages"
                                             : "Quillpost";
  const int shown = static_cast<int>(lines.size()) > kMaxBodyLines ? kMaxBodyLines - 1
                                                                  : static_cast<int>(lines.size());
  for (int i = 0; i < shown; ++i) {
    if (i > 0) notice.body += '\n';
    notice.body += Escaped(lines[std::size_t(i)]);
  }
  if (shown < static_cast<int>(lines.size()))
    notice.body += "\n... and " + std::to_string(lines.size() - std::size_t(shown)) + " more lines";
  return notice;
}

}  // namespace DesktopNotice
