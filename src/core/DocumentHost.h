#pragma once
// What the message commands need of the main window's document windows: one window per open
// message, found and closed by the message's guid.

#include <string>

class IDocumentHost {
 public:
  virtual ~IDocumentHost() = default;
  // Brings the document window showing that message to the front; false when none is open.
  virtual bool FocusDocument(const std::string& itemId) = 0;
  // Opens a new document window on the rendered page of a message of that source, with the
  // caption as its tab text.
  virtual void OpenDocument(const std::string& itemId, const std::string& caption,
                            const std::string& pagePath, const std::string& sourceId) = 0;
  // Closes the first document window showing that message; false when none is open.
  virtual bool CloseDocument(const std::string& itemId) = 0;
  // The desktop's colours are dark: pages follow them where the message lets them.
  virtual bool PrefersDarkPages() const { return false; }
};
