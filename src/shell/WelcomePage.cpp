#include "shell/WelcomePage.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace WelcomePage {

QWidget* Build(QAction* subscribe, QAction* import, QAction* help, Buttons& buttons) {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("picWelcome"));
  auto* picture = new QLabel(page);
  picture->setObjectName(QStringLiteral("imgWelcome"));
  picture->setPixmap(QIcon(QStringLiteral(":/pictures/welcome.svg"))
                         .pixmap(QSize(320, 200), page->devicePixelRatioF()));
  picture->setAccessibleName(
      QCoreApplication::translate("WelcomePage", "Newsletters arriving in a reading tray"));
  auto* heading = new QLabel(QStringLiteral("Welcome to Quillpost"), page);
  heading->setObjectName(QStringLiteral("lblWelcomeTitle"));
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  heading->setFont(big);
  auto* text = new QLabel(
      QStringLiteral(
          "Quillpost keeps the newsletters of your message sources in one place: subscribe to a "
          "source, check it, and every new message lands in your inbox, to read, keep and find "
          "again.\n\nStart by subscribing to a source (its title and its link), or bring the "
          "sources another reader exported as OPML."),
      page);
  text->setObjectName(QStringLiteral("lblWelcomeText"));
  text->setWordWrap(true);
  text->setMaximumWidth(520);
  const auto button = [page](const QString& name, const QString& caption, QAction* entry) {
    auto* b = new QPushButton(caption, page);
    b->setObjectName(name);
    if (!entry->shortcut().isEmpty())
      b->setToolTip(entry->shortcut().toString(QKeySequence::NativeText));
    QObject::connect(b, &QPushButton::clicked, entry, &QAction::trigger);
    return b;
  };
  buttons.subscribe = button(QStringLiteral("btnWelcomeSubscribe"),
                             QStringLiteral("Subscribe to New Source"), subscribe);
  buttons.import = button(QStringLiteral("btnWelcomeImport"),
                          QStringLiteral("Import Sources from OPML"), import);
  buttons.help = button(QStringLiteral("btnWelcomeHelp"), QStringLiteral("Help"), help);
  auto* row = new QHBoxLayout;
  row->addWidget(buttons.subscribe);
  row->addWidget(buttons.import);
  row->addWidget(buttons.help);
  row->addStretch();
  auto* column = new QVBoxLayout;
  column->addStretch(1);
  column->addWidget(picture);
  column->addSpacing(12);
  column->addWidget(heading);
  column->addSpacing(8);
  column->addWidget(text);
  column->addSpacing(16);
  column->addLayout(row);
  column->addStretch(2);
  auto* layout = new QHBoxLayout(page);
  layout->addStretch();
  layout->addLayout(column);
  layout->addStretch();
  return page;
}

}  // namespace WelcomePage
