#pragma once
// A loopback HTTP/1.1 server for tests, benchmarks and the demo. Routes by path answer with
// fault modes (latency, slow drip, a body broken off or without end, redirect chains and loops,
// gzip); paths without a route may come from a folder of files, answered as a real server
// would (keep-alive, validators, 304 to conditional requests). Every answer carries a Date
// unless its route sets one. Every request is logged.
//
// It runs in the caller's thread, served by whatever event loop runs there (a download's local
// loop is enough), or in a thread of its own for callers that block.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QThread;

namespace TestSupport {

namespace FeedServerDetail {
struct Shared;
class Worker;
}  // namespace FeedServerDetail

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

struct FeedRoute {
  int status = 200;
  QByteArray contentType = "application/rss+xml";
  QByteArray body;
  HeaderList headers;           // further response headers, e.g. Location
  int latencyMs = 0;            // wait before the status line
  int dripBytes = 0;            // with dripIntervalMs: the body in pieces of this size...
  int dripIntervalMs = 0;       // ...one piece every so many milliseconds
  qint64 closeAfterBytes = -1;  // announce the whole body, send this many bytes, hang up
  bool endless = false;         // no length and no end: filler until the client hangs up
  bool gzip = false;            // the body is gzip data, sent with Content-Encoding: gzip
};

struct FeedRequest {
  QByteArray method;
  QByteArray target;  // as sent: path and query
  HeaderList headers;
  // The first header of that name, any case; empty when absent.
  QByteArray Header(const QByteArray& name) const;
};

class FeedServer {
 public:
  enum class Threading { Caller, Own };

  explicit FeedServer(Threading threading = Threading::Caller);
  ~FeedServer();
  FeedServer(const FeedServer&) = delete;
  FeedServer& operator=(const FeedServer&) = delete;

  // Listens on 127.0.0.1; port 0 takes any free one. False when the port cannot be had.
  bool Listen(quint16 port = 0);
  quint16 Port() const;
  // "http://127.0.0.1:<port>" followed by the path.
  std::string Url(const std::string& path) const;

  // Routes may be set and changed while the server runs, from any thread.
  void SetRoute(const QByteArray& path, const FeedRoute& route);
  void Serve(const QByteArray& path, const QByteArray& body,
             const QByteArray& contentType = "application/rss+xml");
  void SetStatus(const QByteArray& path, int status, const QByteArray& body = {});
  void SetRedirect(const QByteArray& path, const QByteArray& location, int status = 302);
  // path answers with a redirect to path/1, that to path/2, ..., the last of the hops to target.
  void SetRedirectChain(const QByteArray& path, int hops, const QByteArray& target);
  // path and path/loop send the client to each other.
  void SetRedirectLoop(const QByteArray& path);
  // Paths without a route answer with the file of that name directly in the folder, as
  // application/rss+xml; names with a "/" or starting with "." are refused with 404.
  // A file's answer carries an ETag and (once the file is older than the current second) a
  // Last-Modified date; a request whose If-None-Match or If-Modified-Since matches them gets
  // 304 Not Modified without a body.
  void ServeFolder(const QString& folder);
  // Off: folder answers carry no validators and conditional requests get the full answer.
  void SetConditional(bool on);
  // On: folder answers carry only a Last-Modified date, also for a file changed within the
  // current second, as a simple static server sends it.
  void SetPlainValidators(bool on);
  // Every request from now on waits this long before its answer, on top of its route's own
  // latency; other connections are served meanwhile.
  void SetLatency(int milliseconds);

  // Appends "METHOD target" and a line feed to the file for every request from now on, so
  // that a script outside the process can see what was asked; an empty path stops it.
  void LogRequestsTo(const QString& path);

  std::vector<FeedRequest> Requests() const;
  int ConnectionsAccepted() const;

  static QByteArray Gzip(const QByteArray& data);
  // Gzip data that inflates to that many zero bytes: a compression bomb, made piece by piece.
  static QByteArray GzipOfZeros(qint64 inflatedSize);

 private:
  std::shared_ptr<FeedServerDetail::Shared> m_shared;
  std::unique_ptr<QThread> m_thread;
  FeedServerDetail::Worker* m_worker = nullptr;
};

}  // namespace TestSupport
