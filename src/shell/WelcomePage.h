#pragma once
// The welcome of a reader without sources: what the program is for and three ways to begin,
// each button doing what its menu entry does (and showing that entry's key).

class QAction;
class QPushButton;
class QWidget;

namespace WelcomePage {

struct Buttons {
  QPushButton* subscribe = nullptr;
  QPushButton* import = nullptr;
  QPushButton* help = nullptr;
};

// The page (picWelcome), its buttons triggering the given entries.
QWidget* Build(QAction* subscribe, QAction* import, QAction* help, Buttons& buttons);

}  // namespace WelcomePage
