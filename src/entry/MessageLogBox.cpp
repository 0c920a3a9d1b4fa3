#include "entry/MessageLogBox.h"

#include "core/AsciiText.h"

#include <cstdio>

int MessageLogBox::Show(const std::string& text, const std::string& title, int style) {
  if (FILE* f = std::fopen(m_path.c_str(), "a")) {
    const std::string line = std::to_string(style) + "\t" + AsciiText::Escaped(title) + "\t" +
                             AsciiText::Escaped(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return Services::DefaultAnswer(style);
}
