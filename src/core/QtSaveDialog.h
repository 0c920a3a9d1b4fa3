#pragma once
// The save-as dialog over Qt's file dialog.

#include "core/Services.h"

#include <QString>
#include <QStringList>

class QFileDialog;

class QtSaveDialog : public Services::ISaveDialog {
 public:
  std::string AskSaveFile(const Request& request) override;

  // "Description|*.a;*.b|Other|*.c" as Qt's name filters: "Description (*.a *.b)", "Other (*.c)".
  // A description that already ends in a pattern list in parentheses keeps only the given one.
  static QStringList NameFilters(const std::string& filter);
  // Sets up a dialog as the request asks; the dialog is not shown.
  static void Prepare(QFileDialog& dialog, const Request& request, const QString& folder);
};
