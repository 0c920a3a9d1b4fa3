// The main window's menus: the bar and the two popups built from one table, and each entry wired
// to its handler.
#include "shell/frmMain.h"

#include "core/TreeModel.h"
#include "presentation/frmOptions.h"
#include "shell/DocumentTabs.h"
#include "subscriptions/Opml.h"

#include <QAction>
#include <QDockWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>

namespace {

// The menu bar, one row per menu and entry in order: a row with a menu starts that menu, and the
// entries after it belong to it. A caption of "-" is a separator line.
struct MenuRow {
  QMenu* frmMain::*menu = nullptr;
  QAction* frmMain::*entry = nullptr;
  const char* name;
  const char* caption;
  const char* keys = "";
};

const MenuRow kMenuRows[] = {
    {&frmMain::mnuFile, nullptr, "mnuFile", "&File"},
    {nullptr, &frmMain::mnuFileSystray, "mnuFileSystray", "&Minimize to System Tray", "Ctrl+T"},
    {nullptr, &frmMain::mnuFileLine1, "mnuFileLine1", "-"},
    {nullptr, &frmMain::mnuFileSaveAs, "mnuFileSaveAs", "&Save As", "Ctrl+S"},
    {nullptr, &frmMain::mnuFilePrint, "mnuFilePrint", "&Print", "Ctrl+P"},
    {nullptr, &frmMain::mnuFileLine3, "mnuFileLine3", "-"},
    {nullptr, &frmMain::mnuFileCloseCurrent, "mnuFileCloseCurrent", "Close &Draft"},
    {nullptr, &frmMain::mnuFileCloseAll, "mnuFileCloseAll", "Close &All", "Shift+F4"},
    {nullptr, &frmMain::mnuFileLine2, "mnuFileLine2", "-"},
    {nullptr, &frmMain::mnuFileExit, "mnuFileExit", "E&xit", "Ctrl+Q"},
    {&frmMain::mnuMsgSource, nullptr, "mnuMsgSource", "Message Sources"},
    {nullptr, &frmMain::mnuMsgSourceNew, "mnuMsgSourceNew", "Subscribe to &New Source", "Ctrl+N"},
    {nullptr, &frmMain::mnuMsgSourceLine1, "mnuMsgSourceLine1", "-"},
    {nullptr, &frmMain::mnuMsgSourceCheckCurrent, "mnuMsgSourceCheckCurrent",
     "Check for New &Messages", "F5"},
    {nullptr, &frmMain::mnuMsgSourceCheckAll, "mnuMsgSourceCheckAll",
     "Check &All Sources for New Messages", "Ctrl+F5"},
    // Reading on from the keyboard.
    {nullptr, &frmMain::mnuMsgSourceLine4, "mnuMsgSourceLine4", "-"},
    {nullptr, &frmMain::mnuMsgSourceNextUnread, "mnuMsgSourceNextUnread", "Next &Unread", "N"},
    {nullptr, &frmMain::mnuMsgSourceBack, "mnuMsgSourceBack", "&Back to Previous", "Shift+N"},
    {nullptr, &frmMain::mnuMsgSourceMarkAllRead, "mnuMsgSourceMarkAllRead",
     "Mark All as &Read ..."},
    {nullptr, &frmMain::mnuMsgSourceLine2, "mnuMsgSourceLine2", "-"},
    {nullptr, &frmMain::mnuMsgSourceManage, "mnuMsgSourceManage", "&Subscription List Manager",
     "F3"},
    // Sources to and from other feed readers.
    {nullptr, &frmMain::mnuMsgSourceLine3, "mnuMsgSourceLine3", "-"},
    {nullptr, &frmMain::mnuMsgSourceExportOpml, "mnuMsgSourceExportOpml",
     "&Export Sources to OPML ..."},
    {nullptr, &frmMain::mnuMsgSourceImportOpml, "mnuMsgSourceImportOpml",
     "&Import Sources from OPML ..."},
    {nullptr, &frmMain::mnuMsgSourceLine5, "mnuMsgSourceLine5", "-"},
    {nullptr, &frmMain::mnuMsgSourceSearch, "mnuMsgSourceSearch", "Sea&rch Messages", "Ctrl+F"},
    {&frmMain::mnuTools, nullptr, "mnuTools", "&Tools"},
    {nullptr, &frmMain::mnuToolsDropBox, "mnuToolsDropBox", "Quillpost &DropBox", "F9"},
    {nullptr, &frmMain::mnuToolsLine1, "mnuToolsLine1", "-"},
    {nullptr, &frmMain::mnuToolsScheduler, "mnuToolsScheduler", "&Scheduler", "F4"},
    {nullptr, &frmMain::mnuToolsLine2, "mnuToolsLine2", "-"},
    {nullptr, &frmMain::mnuToolsSettings, "mnuToolsSettings", "Se&ttings", "Ctrl+F4"},
    {&frmMain::mnuHelp, nullptr, "mnuHelp", "&Help"},
    {nullptr, &frmMain::mnuHelpFile, "mnuHelpFile", "Help &File", "F1"},
    {nullptr, &frmMain::mnuHelpLine1, "mnuHelpLine1", "-"},
    {nullptr, &frmMain::mnuHelpEmail, "mnuHelpEmail", "Contact Us", "Ctrl+F1"},
    {nullptr, &frmMain::mnuHelpWebsite, "mnuHelpWebsite", "Visit our Website", "Shift+F1"},
    {nullptr, &frmMain::mnuHelpLine2, "mnuHelpLine2", "-"},
    {nullptr, &frmMain::mnuHelpAbout, "mnuHelpAbout", "About"},
    // The message popup is a menu of the bar that never shows there.
    {&frmMain::mnuPopupSource, nullptr, "mnuPopupSource", "PopupTreeview"},
    {nullptr, &frmMain::mnuPopupSourceShow, "mnuPopupSourceShow", "Show"},
    {nullptr, nullptr, "mnuPopupSourceLine1", "-"},
    {nullptr, &frmMain::mnuPopupSourceDel, "mnuPopupSourceDel", "Delete"},
    {nullptr, nullptr, "mnuPopupSourceLine2", "-"},
    {nullptr, &frmMain::mnuPopupSourceRead, "mnuPopupSourceRead", "Mark as Read"},
    {nullptr, &frmMain::mnuPopupSourceUnread, "mnuPopupSourceUnread", "Mark as Unread"},
    {nullptr, nullptr, "mnuPopupSourceLine3", "-"},
    // A source's popup, likewise. Check and Rename show the keys the tree already takes.
    {&frmMain::mnuSourcePopup, nullptr, "mnuSourcePopup", "PopupSource"},
    {nullptr, &frmMain::mnuSourcePopupCheck, "mnuSourcePopupCheck", "Check for New &Messages",
     "F5"},
    {nullptr, &frmMain::mnuSourcePopupRead, "mnuSourcePopupRead", "Mark as &Read ...",
     "Ctrl+Shift+R"},
    {nullptr, nullptr, "mnuSourcePopupLine1", "-"},
    {nullptr, &frmMain::mnuSourcePopupRename, "mnuSourcePopupRename", "Re&name", "F2"},
    {nullptr, &frmMain::mnuSourcePopupUnsubscribe, "mnuSourcePopupUnsubscribe", "&Unsubscribe ...",
     "Del"},
    {nullptr, nullptr, "mnuSourcePopupLine2", "-"},
    {nullptr, &frmMain::mnuSourcePopupExport, "mnuSourcePopupExport", "&Export Messages ...",
     "Ctrl+Shift+E"},
};

const char* const kExportCaptions[] = {"HTML File (*.html)", "Text File (*.txt)",
                                       "Email File (*.eml)"};

}  // namespace

void frmMain::BuildMenus() {
  QMenu* menu = nullptr;
  for (const MenuRow& row : kMenuRows) {
    const QString caption = QString::fromLatin1(row.caption);
    QAction* action = nullptr;
    if (row.menu) {
      menu = menuBar()->addMenu(caption);
      menu->setObjectName(QString::fromLatin1(row.name));
      this->*row.menu = menu;
      continue;
    }
    if (caption == QLatin1String("-")) {
      action = menu->addSeparator();
    } else {
      action = menu->addAction(caption);
      action->setShortcut(QKeySequence(QString::fromLatin1(row.keys), QKeySequence::PortableText));
    }
    action->setObjectName(QString::fromLatin1(row.name));
    if (row.entry) this->*row.entry = action;
  }
  mnuToolsDropBox->setCheckable(true);
  mnuPopupSource->menuAction()->setVisible(false);
  mnuSourcePopup->menuAction()->setVisible(false);
  // The reading keys and the source entries' keys act only where BindReadingKeys puts them.
  for (QAction* entry : {mnuMsgSourceNextUnread, mnuMsgSourceBack})
    entry->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  for (QAction* entry : mnuSourcePopup->actions()) entry->setShortcutContext(Qt::WidgetShortcut);
  m_spaceKey = new QAction(QStringLiteral("Page Down or Next Unread"), this);
  m_spaceKey->setObjectName(QStringLiteral("keySpace"));
  m_spaceKey->setShortcut(QKeySequence(Qt::Key_Space));
  m_spaceKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  // In a page only: in the lists and fields Escape keeps its own meaning.
  m_escapeKey = new QAction(tr("Back to the List"), this);
  m_escapeKey->setObjectName(QStringLiteral("keyEscape"));
  m_escapeKey->setShortcut(QKeySequence(Qt::Key_Escape));
  m_escapeKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  UpdateDocumentEntries();

  mnuPopupSourceExport = mnuPopupSource->addMenu(QStringLiteral("Export to File"));
  mnuPopupSourceExport->setObjectName(QStringLiteral("mnuPopupSourceExport"));
  for (std::size_t index = 0; index < mnuPopupSourceExportOpt.size(); ++index) {
    QAction* entry = mnuPopupSourceExport->addAction(QString::fromLatin1(kExportCaptions[index]));
    entry->setObjectName(QStringLiteral("mnuPopupSourceExportOpt"));
    entry->setData(static_cast<int>(index));
    mnuPopupSourceExportOpt[index] = entry;
  }
}

void frmMain::CreateConnections() {
  connect(mnuFileSystray, &QAction::triggered, this, &frmMain::mnuFileSystray_Click);
  connect(mnuFileSaveAs, &QAction::triggered, this, &frmMain::mnuFileSaveAs_Click);
  connect(mnuFilePrint, &QAction::triggered, this, &frmMain::mnuFilePrint_Click);
  connect(mnuFileCloseCurrent, &QAction::triggered, this,
          [this] { m_documents->Close(ActiveDocument()); });
  connect(mnuFileCloseAll, &QAction::triggered, m_documents, &DocumentTabs::CloseAll);
  connect(mnuFileExit, &QAction::triggered, this, &frmMain::Exit);
  connect(mnuMsgSourceNew, &QAction::triggered, this, &frmMain::mnuMsgSourceNew_Click);
  connect(mnuMsgSourceCheckCurrent, &QAction::triggered, this,
          &frmMain::mnuMsgSourceCheckCurrent_Click);
  connect(mnuMsgSourceCheckAll, &QAction::triggered, this, &frmMain::mnuMsgSourceCheckAll_Click);
  connect(mnuMsgSourceManage, &QAction::triggered, this, &frmMain::mnuMsgSourceManage_Click);
  connect(mnuMsgSourceExportOpml, &QAction::triggered, this, [] { Opml::ExportWithDialog(); });
  connect(mnuMsgSourceImportOpml, &QAction::triggered, this,
          &frmMain::mnuMsgSourceImportOpml_Click);
  connect(mnuMsgSourceSearch, &QAction::triggered, this, [this] {
    ucFormDock->show();
    m_options->FocusSearch();
  });
  connect(mnuToolsDropBox, &QAction::triggered, this, &frmMain::mnuToolsDropBox_Click);
  connect(mnuToolsScheduler, &QAction::triggered, this, &frmMain::mnuToolsScheduler_Click);
  connect(mnuToolsSettings, &QAction::triggered, this, &frmMain::mnuToolsSettings_Click);
  connect(mnuHelpFile, &QAction::triggered, this, &frmMain::mnuHelpFile_Click);
  connect(mnuHelpEmail, &QAction::triggered, this, &frmMain::mnuHelpEmail_Click);
  connect(mnuHelpWebsite, &QAction::triggered, this, &frmMain::mnuHelpWebsite_Click);
  connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);

  connect(mnuPopupSourceShow, &QAction::triggered, this, &frmMain::mnuPopupSourceShow_Click);
  connect(mnuPopupSourceDel, &QAction::triggered, this, &frmMain::mnuPopupSourceDel_Click);
  connect(mnuPopupSourceRead, &QAction::triggered, this, &frmMain::mnuPopupSourceRead_Click);
  connect(mnuPopupSourceUnread, &QAction::triggered, this, &frmMain::mnuPopupSourceUnread_Click);
  for (QAction* entry : mnuPopupSourceExportOpt) {
    connect(entry, &QAction::triggered, this,
            [this, index = entry->data().toInt()] { mnuPopupSourceExportOpt_Click(index); });
  }

  connect(mnuMsgSourceNextUnread, &QAction::triggered, this,
          &frmMain::mnuMsgSourceNextUnread_Click);
  connect(mnuMsgSourceBack, &QAction::triggered, this, &frmMain::mnuMsgSourceBack_Click);
  connect(mnuMsgSourceMarkAllRead, &QAction::triggered, this,
          &frmMain::mnuMsgSourceMarkAllRead_Click);
  connect(m_spaceKey, &QAction::triggered, this, &frmMain::SpaceKey);
  connect(m_escapeKey, &QAction::triggered, this, &frmMain::BackToList);
  connect(mnuSourcePopupCheck, &QAction::triggered, this, &frmMain::mnuMsgSourceCheckCurrent_Click);
  connect(mnuSourcePopupRead, &QAction::triggered, this, &frmMain::mnuSourcePopupRead_Click);
  connect(mnuSourcePopupRename, &QAction::triggered, this, &frmMain::mnuSourcePopupRename_Click);
  connect(mnuSourcePopupUnsubscribe, &QAction::triggered, this,
          &frmMain::mnuSourcePopupUnsubscribe_Click);
  connect(mnuSourcePopupExport, &QAction::triggered, this, &frmMain::mnuSourcePopupExport_Click);

  connect(m_options, &frmOptions::SettingsRequested, this, &frmMain::mnuToolsSettings_Click);
  connect(m_options, &frmOptions::SchedulerRequested, this, &frmMain::mnuToolsScheduler_Click);
  connect(m_documents, &DocumentTabs::DocumentsChanged, this, [this] {
    UpdateDocumentEntries();
    UpdateWelcome();
  });
  for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(&m_options->Model(), signal, this, &frmMain::UpdateWelcome);
  connect(&m_options->Model(), &QAbstractItemModel::modelReset, this, &frmMain::UpdateWelcome);
}
