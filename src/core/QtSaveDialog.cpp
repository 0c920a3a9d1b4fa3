#include "core/QtSaveDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

// Where the last file was saved; the next dialog opens there.
QString g_lastFolder;

QString StartFolder() {
  if (!g_lastFolder.isEmpty() && QFileInfo(g_lastFolder).isDir()) return g_lastFolder;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// A proposed name is a name, never a path: a message title may hold "/" or line breaks.
QString PlainFileName(const std::string& name) {
  QString plain = QString::fromStdString(name);
  plain.replace(QLatin1Char('/'), QLatin1Char('-'));
  plain.remove(QRegularExpression(QStringLiteral("[\\x00-\\x1f]")));
  return plain;
}

}  // namespace

QStringList QtSaveDialog::NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList filters;
  static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    description.remove(trailingPatterns);
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    filters << description.trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return filters;
}

void QtSaveDialog::Prepare(QFileDialog& dialog, const Request& request, const QString& folder) {
  dialog.setWindowTitle(QString::fromStdString(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Flag 2 asks before replacing a file; without it the dialog replaces silently.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, (request.flags & 2) == 0);
  dialog.setDirectory(folder);
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  // Where several types are offered, a name typed without extension takes the chosen type's.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& type) {
    static const QRegularExpression firstPattern(QStringLiteral("\\*\\.(\\w+)"));
    const QRegularExpressionMatch match = firstPattern.match(type);
    if (match.hasMatch()) dialog.setDefaultSuffix(match.captured(1));
  });
  dialog.selectFile(PlainFileName(request.fileName));
}

std::string QtSaveDialog::AskSaveFile(const Request& request) {
  QFileDialog dialog(QApplication::activeWindow());
  Prepare(dialog, request, StartFolder());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  g_lastFolder = QFileInfo(chosen.first()).absolutePath();
  return chosen.first().toStdString();
}
