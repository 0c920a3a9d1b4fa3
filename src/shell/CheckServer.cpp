#include "shell/CheckServer.h"

#include "retrieval/CheckRun.h"
#include "shell/ForwardedCheck.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

CheckServer::CheckServer(TreeControl& tree, QObject* parent)
    : QObject(parent), m_tree(tree), m_server(new QLocalServer(this)) {
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  m_retry.setSingleShot(true);
  connect(&m_retry, &QTimer::timeout, this, &CheckServer::RunWaiting);
  connect(m_server, &QLocalServer::newConnection, this, &CheckServer::Accept);
}

bool CheckServer::Listen(const QString& path) {
  QLocalServer::removeServer(path);
  if (m_server->listen(path)) return true;
  qWarning("Quillpost: --check cannot reach this reader: %s", qPrintable(m_server->errorString()));
  return false;
}

void CheckServer::Accept() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] {
      if (!m_waiting.contains(socket)) socket->abort();
    });
    Read(socket);
  }
}

void CheckServer::Read(QLocalSocket* socket) {
  if (m_waiting.contains(socket)) {
    socket->abort();  // nothing may follow the request
    return;
  }
  // One byte more than a request can have is enough to refuse.
  const QByteArray received = socket->peek(qint64(ForwardedCheck::kRequest.size()) + 1);
  switch (ForwardedCheck::ReadRequest(std::string_view(received.constData(), received.size()))) {
    case ForwardedCheck::RequestState::Partial:
      return;
    case ForwardedCheck::RequestState::Refused:
      socket->abort();
      return;
    case ForwardedCheck::RequestState::Complete:
      socket->readAll();
      m_waiting.append(socket);
      QTimer::singleShot(0, this, &CheckServer::RunWaiting);
      return;
  }
}

void CheckServer::RunWaiting() {
  m_waiting.removeAll(nullptr);
  if (m_waiting.isEmpty()) return;
  // The run under way (ours included) is never doubled: ask again once it is over.
  if (mAppFunctions::CheckRunning) {
    m_retry.start(kRetryMs);
    return;
  }
  const QList<QPointer<QLocalSocket>> waiting = std::exchange(m_waiting, {});
  // Boxes from event loops opened inside the run (a download's, a box the user opened) are the
  // user's own.
  const int level = QThread::currentThread()->loopLevel();
  const ForwardedCheck::Reply reply = ForwardedCheck::Run(
      m_tree, [level] { return QThread::currentThread()->loopLevel() > level; });
  const QByteArray bytes = QByteArray::fromStdString(ForwardedCheck::WriteReply(reply));
  for (const QPointer<QLocalSocket>& socket : waiting) {
    if (!socket) continue;
    socket->write(bytes);
    socket->disconnectFromServer();
  }
}
