#include "entry/MessageLogBox.h"

#include "shell/ForwardedCheck.h"

#include <cstdio>

int MessageLogBox::Show(const std::string& text, const std::string& title, int style) {
  if (FILE* f = std::fopen(m_path.c_str(), "a")) {
    const std::string line = std::to_string(style) + "\t" + ForwardedCheck::EscapeLine(title) +
                             "\t" + ForwardedCheck::EscapeLine(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return Services::DefaultAnswer(style);
}
