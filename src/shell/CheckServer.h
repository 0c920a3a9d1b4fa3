#pragma once
// The reader's end of "quillpost --check" (ForwardedCheck): a local socket in the data folder,
// reachable by its owner only. The one request gets a check of all sources and the reply; a
// request that comes while a check runs waits for its end, and requests that wait together share
// one run. Anything else on the socket is dropped, and a request that stays incomplete is dropped
// after kRequestTimeoutMs.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QLocalServer;
class QLocalSocket;
class TreeControl;

class CheckServer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRequestTimeoutMs = 5'000;
  static constexpr int kRetryMs = 250;

  CheckServer(TreeControl& tree, QObject* parent = nullptr);
  // Listens at the path (a stale socket file there is replaced: the caller holds the data
  // folder's lock). False when the socket cannot be made, for example for a path too long.
  bool Listen(const QString& path);

 private:
  void Accept();
  void Read(QLocalSocket* socket);
  void RunWaiting();

  TreeControl& m_tree;
  QLocalServer* m_server = nullptr;
  QList<QPointer<QLocalSocket>> m_waiting;
  QTimer m_retry;
};
