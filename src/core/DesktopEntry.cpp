#include "core/DesktopEntry.h"

#include "core/QtServices.h"
#include "core/mGeneralFunctions.h"
#include "core/mMain.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace DesktopEntry {

namespace {
std::unique_ptr<QMainWindow> g_mainWindow;

// Stands in for the main window until the real one exists.
void LoadMainWindow() {
  g_mainWindow = std::make_unique<QMainWindow>();
  g_mainWindow->setWindowTitle(QString::fromStdString(
      "Quillpost (Standard Version)" + mGeneralFunctions::ApplicationBuild(true, true)));
  auto* label = new QLabel(QStringLiteral("Quillpost"), g_mainWindow.get());
  label->setAlignment(Qt::AlignCenter);
  g_mainWindow->setCentralWidget(label);
  g_mainWindow->resize(800, 600);
  g_mainWindow->show();
}
}  // namespace

int Run(int argc, char** argv) {
  // The web view's sandbox refuses to start as root; a normal user keeps it.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillpost"));
  QtServices::InstallDesktop();

  if (!mMain::Main(&LoadMainWindow)) return 1;
  const int status = app.exec();
  g_mainWindow.reset();
  return status;
}

}  // namespace DesktopEntry
