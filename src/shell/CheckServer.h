#pragma once
// The reader's end of the requests of other Quillpost processes (ForwardedCheck): a local socket
// in the data folder, reachable by its owner only.
//
// A second desktop start is answered at once (the window comes up). A check, an import or a sync
// waits until the reader is free (no run under way, no box or dialog open) and is then carried
// out as an automatic run; checks that wait together share one run. One that cannot start within a
// minute is answered with the busy text. A check whose command is interrupted (it sends the stop
// request, or its connection drops) is withdrawn while it waits; once running, the run stops when
// no command waits for it any more, unless someone at the screen has asked for it meanwhile.
// Anything else on the socket is dropped, and a request that stays incomplete is dropped after
// kRequestTimeoutMs.

#include "shell/ForwardedCheck.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;
class TreeControl;

// True while a message box, a dialog or a menu of the program is open: no automatic run starts
// then (it would hold the box's answer until the run ends).
bool BoxOrDialogOpen();
// No run under way, no box or dialog open, and nothing else in the middle of its work: the
// reader may start what nobody at the screen asked for.
bool ReaderIsFree();

class CheckServer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRequestTimeoutMs = 5'000;
  static constexpr int kRetryMs = 250;

  struct Handlers {
    std::function<void()> show;
    std::function<ForwardedCheck::Reply(const std::vector<ForwardedCheck::Outline>&)> import;
    std::function<ForwardedCheck::Reply()> sync;
    std::function<bool()> free = &ReaderIsFree;
  };

  CheckServer(TreeControl& tree, Handlers handlers, QObject* parent = nullptr);
  ~CheckServer() override;
  // Listens at the path (a stale socket file there is replaced: the caller holds the data
  // folder's lock). False when the socket cannot be made, for example for a path too long.
  bool Listen(const QString& path);

 private:
  struct Client;

  void Accept();
  void Read(Client& client);
  // The command was interrupted (stopped, or gone).
  void Withdraw(Client& client, bool answer);
  void Dispatch();
  void Answer(Client& client, const ForwardedCheck::Reply& reply);
  void Forget();
  Client* Find(const QLocalSocket* socket) const;

  TreeControl& m_tree;
  Handlers m_handlers;
  QLocalServer* m_server = nullptr;
  std::vector<std::unique_ptr<Client>> m_clients;
  QTimer m_retry;
  QElapsedTimer m_clock;
  bool m_dispatching = false;
};
