// The main window's reading from the keyboard (Next Unread, Back, Space, Mark All as Read, the
// reading keys' places) and the entries of a source's popup, with the status line they report
// in.
#include "shell/frmMain.h"

#include "core/Services.h"
#include "inbox/UnreadCounts.h"
#include "presentation/ReaderServices.h"
#include "presentation/SearchPane.h"
#include "presentation/frmDoc.h"
#include "presentation/frmOptions.h"
#include "shell/AppServices.h"
#include "shell/DocumentTabs.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/SubscriptionChecks.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QTimer>
#include <QTreeView>

void frmMain::BindReadingKeys() {
  QWidget* places[] = {m_options->TreeView(), m_options->Search()->lstResults};
  for (QWidget* place : places)
    place->addActions({mnuMsgSourceNextUnread, mnuMsgSourceBack, m_spaceKey});
  m_options->TreeView()->addActions(
      {mnuSourcePopupRead, mnuSourcePopupUnsubscribe, mnuSourcePopupExport});
}

ReadingFlow::UnreadLookup frmMain::UnreadLookup() {
  return [this](const std::string& id) -> std::optional<std::size_t> {
    const std::optional<mInbox::SourceCount> count = m_services.Reader().Counts().Find(id);
    return count ? std::optional(count->unread) : std::nullopt;
  };
}

TreeControl::Node* frmMain::SelectedSource() {
  return ReadingFlow::SourceOf(MessageTree().SelectedItem());
}

void frmMain::ShowStatus(const QString& text) {
  lblStatus->setText(text);
  m_statusTimer->start();
}

void frmMain::ReadOn(bool forward) {
  // A page read on from keeps the keyboard in the page that opens; a list keeps it itself.
  const QPointer<QWidget> focus = QApplication::focusWidget();
  const bool fromList = focus == m_options->TreeView() || focus == m_options->Search()->lstResults;
  m_documents->SetReuseReadingTab(true);
  const bool opened =
      forward ? ReadingFlow::OpenNextUnread(MessageTree(), *m_documents, UnreadLookup(), m_trail)
              : ReadingFlow::OpenPrevious(MessageTree(), *m_documents, m_trail);
  m_documents->SetReuseReadingTab(false);
  if (focus && fromList) focus->setFocus();
  ShowStatus(opened    ? QString()
             : forward ? QStringLiteral("No unread messages.")
                       : QStringLiteral("No message to go back to."));
}

void frmMain::mnuMsgSourceNextUnread_Click() { ReadOn(true); }

void frmMain::mnuMsgSourceBack_Click() { ReadOn(false); }

void frmMain::BackToList() {
  const frmDoc* doc = DocumentTabs::DocumentOf(ActiveDocument());
  if (!doc) return;
  // While a query stands its list is where the tree was: back there when it shows the message.
  SearchPane* search = m_options->Search();
  if (search->QueryStands() && search->SelectMessage(doc->SourceID(), doc->ItemID())) {
    search->lstResults->setFocus(Qt::OtherFocusReason);
    return;
  }
  // Else the tree, the message selected there (its source, when it is gone).
  if (search->QueryStands()) search->Clear();
  ReadingFlow::SelectMessage(MessageTree(), {doc->SourceID(), doc->ItemID()});
  m_options->TreeView()->setFocus(Qt::OtherFocusReason);
}

void frmMain::SpaceKey() {
  frmDoc* doc = DocumentTabs::DocumentOf(ActiveDocument());
  if (doc && !doc->PageAtEnd()) {
    doc->PageDown();
  } else {
    mnuMsgSourceNextUnread_Click();
  }
}

void frmMain::mnuMsgSourceMarkAllRead_Click() {
  const std::size_t marked = ReadingFlow::MarkAllRead(MessageTree(), UnreadLookup());
  if (marked > 0)
    ShowStatus(QString::fromStdString(ReadingFlow::GroupedNumber(marked)) +
               QStringLiteral(" messages marked as read."));
}

void frmMain::mnuSourcePopupRead_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source) return;
  const std::size_t unread = ReadingFlow::UnreadCount(*source, UnreadLookup());
  if (unread == 0) {
    ShowStatus(QString::fromStdString(source->Text()) + QStringLiteral(" has no unread messages."));
    return;
  }
  ReadingFlow::MarkSourceRead(MessageTree(), source->Key(), unread);
}

void frmMain::mnuSourcePopupRename_Click() {
  if (TreeControl::Node* source = SelectedSource()) MessageTree().StartLabelEdit(source);
}

void frmMain::mnuSourcePopupUnsubscribe_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source || !source->IsTopLevel() || source != MessageTree().SelectedItem()) return;
  if (SubscriptionChecks::UnsubscribeSource(source->Key(), source->Text(), source->Tag(),
                                            m_documents))
    mSubscriptions::LoadSubscriptions(MessageTree());
}

void frmMain::mnuSourcePopupExport_Click() {
  const TreeControl::Node* source = SelectedSource();
  if (!source) return;
  const std::string id = source->Key();
  const QString title = QString::fromStdString(source->Text());
  const QString folder = QFileDialog::getExistingDirectory(
      this, QStringLiteral("Export Messages of %1 to Folder").arg(title));
  if (folder.isEmpty()) return;
  const std::optional<std::size_t> written = ReadingFlow::ExportMessages(id, folder.toStdString());
  if (!written) {
    Services::MessageBox().Show("The messages of " + title.toStdString() + " could not be read.",
                                "Export Messages", Services::vbOKOnly + Services::vbExclamation);
    return;
  }
  ShowStatus(QStringLiteral("%1 messages of %2 exported to %3.")
                 .arg(QString::fromStdString(ReadingFlow::GroupedNumber(*written)), title, folder));
}
