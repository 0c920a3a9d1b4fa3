#include "support/WindowSupport.h"

#include "TestPaths.h"
#include "core/mGeneralFunctions.h"
#include "presentation/MessageView.h"
#include "shell/frmSysTray.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>

#include <cstdlib>

namespace TestData {

namespace {

std::string Quoted(const QString& text) { return " \"" + text.toStdString() + "\""; }

void DescribeAction(const QAction* action, const std::string& indent, std::string& out) {
  QString name = action->menu() ? action->menu()->objectName() : action->objectName();
  out += indent + (name.isEmpty() ? std::string("-") : name.toStdString());
  if (action->isSeparator()) {
    out += " -";
  } else {
    out += Quoted(action->text());
    if (!action->shortcut().isEmpty())
      out += " " + action->shortcut().toString(QKeySequence::PortableText).toStdString();
  }
  if (!action->isVisible()) out += " hidden";
  if (action->isVisible() && !action->isEnabled()) out += " disabled";
  if (action->isCheckable()) out += " checkable";
  if (action->font().bold()) out += " default";
  out += "\n";
  if (const QMenu* menu = action->menu()) {
    for (const QAction* entry : menu->actions()) DescribeAction(entry, indent + "  ", out);
  }
}

void DescribeWidget(const QWidget* widget, std::string& out) {
  // Our controls are named in lower camel case; Qt's own parts are not.
  const QString name = widget->objectName();
  if (name.isEmpty() || !name.front().isLower() || name.startsWith(QLatin1String("qt_"))) return;
  if (qobject_cast<const QMenu*>(widget)) return;  // menus are listed with their entries
  out += name.toStdString() + " [" + widget->metaObject()->className() + "]";
  if (widget->isWindow()) {
    out += Quoted(widget->windowTitle());
  } else if (const auto* label = qobject_cast<const QLabel*>(widget);
             label && !label->text().isEmpty()) {
    out += Quoted(label->text());
  } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    out += Quoted(button->text());
  }
  if (widget->isHidden() && !widget->isWindow()) out += " hidden";
  out += "\n";
}

}  // namespace

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

std::string Inventory(const QWidget& window) {
  std::string out;
  DescribeWidget(&window, out);
  for (const QWidget* child : window.findChildren<QWidget*>()) DescribeWidget(child, out);
  if (const auto* main = qobject_cast<const QMainWindow*>(&window)) {
    for (const QAction* action : main->menuBar()->actions()) DescribeAction(action, "", out);
  }
  for (const QMenu* menu : window.findChildren<QMenu*>()) {
    if (menu->parent() == &window && !menu->objectName().isEmpty() &&
        !qobject_cast<const QMainWindow*>(&window)) {
      DescribeAction(menu->menuAction(), "", out);
    }
  }
  if (const auto* main = qobject_cast<const frmMain*>(&window); main && main->SysTray()) {
    out += "tray menu\n";
    for (const QAction* action : main->SysTray()->Menu()->actions())
      DescribeAction(action, "  ", out);
  }
  return out;
}

void ExpectInventory(const QWidget& window, const std::string& name) {
  const std::string path = std::string(QP_FIXTURES_DIR) + "/ui/" + name + ".txt";
  std::string actual = Inventory(window);
  // The version is not the window's business.
  const std::string build = mGeneralFunctions::ApplicationBuild(true, true);
  for (std::size_t at; (at = actual.find(build)) != std::string::npos;)
    actual.replace(at, build.size(), "<build>");
  if (const char* update = std::getenv("QP_UPDATE_UI_FIXTURES"); update && *update == '1') {
    TestSupport::WriteAll(path, actual);
    return;
  }
  std::string expected;
  try {
    expected = TestSupport::ReadAll(path);
  } catch (const std::exception&) {
    ADD_FAILURE() << "no inventory " << path << " (QP_UPDATE_UI_FIXTURES=1 writes it)";
  }
  EXPECT_EQ(actual, expected) << "inventory of " << name << " differs from " << path;
}

void MainWindowTest::SetUp() {
  lettersId = AddSource("Letters", kLettersLink, {{"g1", "First"}, {"g2", "Second"}});
  notesId = AddSource("Notes", kNotesLink, {{"n1", "Note"}});
  services = std::make_unique<AppServices>();
  window = std::make_unique<TestMainWindow>(*services);
  window->SetViewFactory(&MessageView::TextFactory());
  window->Form_Load("");
  Settle();
}

void MainWindowTest::TearDown() {
  window.reset();
  services.reset();
  Settle();
}

int MainWindowTest::DocumentCount() const {
  return static_cast<int>(window->Tabs()->subWindowList().size());
}

}  // namespace TestData
