#include "shell/CheckServer.h"

#include "core/QtServices.h"
#include "core/Timing.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "retrieval/CheckRun.h"

#include <QApplication>
#include <QDialog>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace {

using ForwardedCheck::Reply;
using ForwardedCheck::RequestKind;
using ForwardedCheck::RequestState;

std::string BusyText(RequestKind kind) {
  return "The Quillpost running on the data folder " + mAppFunctions::DataFolder() +
         " has been busy for a minute (checking, or with a box or dialog open) and could not " +
         (kind == RequestKind::Import ? "import the sources"
          : kind == RequestKind::Sync ? "merge with the sync folder"
                                      : "check") +
         ". Please try again later.";
}

constexpr const char* kBusyTitle = "Quillpost is busy";

}  // namespace

bool BoxOrDialogOpen() {
  if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return true;
  const QWidgetList windows = QApplication::topLevelWidgets();
  return std::any_of(windows.begin(), windows.end(), [](const QWidget* window) {
    return window->isVisible() && qobject_cast<const QDialog*>(window);
  });
}

bool ReaderIsFree() {
  // Only from the main loop itself: an event handled while some handler lets events run (a box,
  // a reload) or inside a local loop would hold that handler up until the run is over.
  return !mAppFunctions::CheckRunning && !BoxOrDialogOpen() &&
         QtServices::DesktopClock::Depth() == 0 && QThread::currentThread()->loopLevel() <= 1;
}

struct CheckServer::Client {
  QPointer<QLocalSocket> socket;
  QByteArray received;
  bool complete = false;
  RequestKind kind = RequestKind::Check;
  std::vector<ForwardedCheck::Outline> outlines;
  qint64 since = 0;       // when the request was complete
  bool running = false;   // its run is under way
  bool withdrawn = false;
  bool answered = false;
};

CheckServer::CheckServer(TreeControl& tree, Handlers handlers, QObject* parent)
    : QObject(parent), m_tree(tree), m_handlers(std::move(handlers)),
      m_server(new QLocalServer(this)) {
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  m_retry.setSingleShot(true);
  m_clock.start();
  connect(&m_retry, &QTimer::timeout, this, &CheckServer::Dispatch);
  connect(m_server, &QLocalServer::newConnection, this, &CheckServer::Accept);
}

CheckServer::~CheckServer() = default;

bool CheckServer::Listen(const QString& path) {
  QLocalServer::removeServer(path);
  if (m_server->listen(path)) return true;
  qWarning("Quillpost: --check cannot reach this reader: %s", qPrintable(m_server->errorString()));
  return false;
}

void CheckServer::Accept() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    auto client = std::make_unique<Client>();
    client->socket = socket;
    m_clients.push_back(std::move(client));
    // The client is looked up again each time: it may have been answered and forgotten.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      if (Client* c = Find(socket); c && !c->answered) Withdraw(*c, false);
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (Client* c = Find(socket)) Read(*c);
    });
    QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] {
      if (Client* c = Find(socket); c && !c->complete) socket->abort();
    });
    Read(*m_clients.back());
  }
}

CheckServer::Client* CheckServer::Find(const QLocalSocket* socket) const {
  for (const auto& c : m_clients)
    if (c->socket == socket) return c.get();
  return nullptr;
}

void CheckServer::Read(Client& client) {
  if (!client.socket) return;
  client.received += client.socket->readAll();
  const std::string_view bytes(client.received.constData(), std::size_t(client.received.size()));
  if (client.complete) {
    // Only a check may be followed, and only by the stop of its interrupted command.
    if (client.kind == RequestKind::Check && bytes == ForwardedCheck::kStopRequest) {
      Withdraw(client, true);
    } else if (client.kind != RequestKind::Check ||
               !ForwardedCheck::kStopRequest.starts_with(bytes)) {
      client.socket->abort();
    }
    return;
  }
  const ForwardedCheck::Request request = ForwardedCheck::ReadRequest(bytes);
  switch (request.state) {
    case RequestState::Partial:
      return;
    case RequestState::Refused:
      client.socket->abort();
      return;
    case RequestState::Complete:
      break;
  }
  client.complete = true;
  client.kind = request.kind;
  client.outlines = request.outlines;
  client.received.remove(0, qsizetype(request.length));
  client.since = m_clock.elapsed();
  if (request.kind == RequestKind::Show) {
    if (m_handlers.show) m_handlers.show();
    Answer(client, {{}, ForwardedCheck::AllChecked});
    return;
  }
  if (!client.received.isEmpty()) Read(client);
  QTimer::singleShot(0, this, &CheckServer::Dispatch);
}

void CheckServer::Withdraw(Client& client, bool answer) {
  if (client.withdrawn || !client.complete || client.answered) return;
  client.withdrawn = true;
  if (client.running) {
    // The run goes on for whoever still waits for it, or was shown it at the screen.
    const bool awaited = std::any_of(m_clients.begin(), m_clients.end(), [](const auto& c) {
      return c->running && !c->withdrawn && c->socket;
    });
    if (!awaited && !mAppFunctions::RunShown()) mAppFunctions::StopCheck();
    // Its reply, the run's with the stop in it, comes when the run is over.
    if (answer) client.withdrawn = false;
    return;
  }
  if (answer) {
    const int sources = static_cast<int>(m_tree.TopLevelCount());
    Answer(client, {{{ForwardedCheck::Event::Kind::Summary,
                      mAppFunctions::StoppedText(0, sources) + "\r\n\r\n", {}, 0}},
                    ForwardedCheck::SomeFailed});
  }
  Forget();
}

void CheckServer::Answer(Client& client, const Reply& reply) {
  client.answered = true;
  if (client.socket) {
    client.socket->write(QByteArray::fromStdString(ForwardedCheck::WriteReply(reply)));
    client.socket->disconnectFromServer();
  }
}

void CheckServer::Forget() {
  // Not while a run holds on to the clients that wait for it.
  if (m_dispatching) return;
  std::erase_if(m_clients, [](const auto& c) {
    return c->answered || (c->withdrawn && !c->running) || !c->socket;
  });
}

void CheckServer::Dispatch() {
  Forget();
  std::vector<Client*> waiting;
  for (const auto& c : m_clients)
    if (c->complete && !c->running && !c->answered && !c->withdrawn) waiting.push_back(c.get());
  if (waiting.empty()) return;
  // One that could not start within a minute gets the busy text.
  for (Client* c : waiting) {
    if (m_clock.elapsed() - c->since >= Timing::MinuteMs)
      Answer(*c, ForwardedCheck::BusyReply(BusyText(c->kind), kBusyTitle));
  }
  std::erase_if(waiting, [](const Client* c) { return c->answered; });
  if (waiting.empty()) return Forget();
  if (m_dispatching || !m_handlers.free()) {
    m_retry.start(kRetryMs);
    return;
  }
  m_dispatching = true;
  Client& first = *waiting.front();
  if (first.kind == RequestKind::Import) {
    Answer(first, m_handlers.import ? m_handlers.import(first.outlines) : Reply{});
  } else if (first.kind == RequestKind::Sync) {
    Answer(first, m_handlers.sync ? m_handlers.sync() : Reply{});
  } else {
    // Every check waiting now shares the run; the ones that come during it wait for the next.
    for (Client* c : waiting) c->running = c->kind == RequestKind::Check;
    const Reply reply = ForwardedCheck::Run(m_tree);
    for (const auto& c : m_clients) {
      if (!c->running) continue;
      c->running = false;
      if (!c->withdrawn) Answer(*c, reply);
    }
  }
  m_dispatching = false;
  Forget();
  m_retry.start(0);
}
