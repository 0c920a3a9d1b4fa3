#pragma once
// Message boxes written to a log file instead of the screen, each answered with its default
// button: one line per box, style, title and text, tab-separated, with backslash, tab, CR and LF
// escaped. The entry installs it in place of the desktop's boxes when QUILLPOST_MESSAGE_LOG
// names a file, so that scripts driving the real program can read what it said.

#include "core/Services.h"

#include <string>

class MessageLogBox : public Services::IMessageBox {
 public:
  explicit MessageLogBox(std::string path) : m_path(std::move(path)) {}
  int Show(const std::string& text, const std::string& title, int style) override;

  static constexpr const char* kVariable = "QUILLPOST_MESSAGE_LOG";

 private:
  std::string m_path;
};
