#include "entry/MessageLogBox.h"

#include <cstdio>

namespace {

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

int MessageLogBox::Show(const std::string& text, const std::string& title, int style) {
  if (FILE* f = std::fopen(m_path.c_str(), "a")) {
    const std::string line =
        std::to_string(style) + "\t" + Escaped(title) + "\t" + Escaped(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return Services::DefaultAnswer(style);
}
