#include "feedserver/FeedServer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLocale>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <stdexcept>

namespace TestSupport {

QByteArray FeedRequest::Header(const QByteArray& name) const {
  for (const auto& [key, value] : headers) {
    if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
  }
  return {};
}

namespace FeedServerDetail {

namespace {

constexpr const char* kHttpDate = "ddd, dd MMM yyyy hh:mm:ss 'GMT'";

// Gives the route the file's validators: an ETag from its modification time in milliseconds and
// its size, as common servers make it, and Last-Modified once the file is older than the current
// second (a later change within that second would carry the same date and be answered 304 by
// mistake). Plain: only Last-Modified, always, as a simple static server sends it. True when the
// request's conditions show that the client holds this version already: If-None-Match decides
// when sent (weak comparison, as for GET), If-Modified-Since only without it.
bool AddValidators(const QFileInfo& info, const FeedRequest& request, bool plain,
                   FeedRoute& route) {
  const QDateTime modified = info.lastModified().toUTC();
  const QByteArray etag = '"' + QByteArray::number(modified.toMSecsSinceEpoch(), 16) + '-' +
                          QByteArray::number(info.size(), 16) + '"';
  const bool dated = plain || modified.toSecsSinceEpoch() < QDateTime::currentSecsSinceEpoch();
  if (!plain) route.headers.append({"ETag", etag});
  if (dated) {
    route.headers.append({"Last-Modified", QLocale::c().toString(modified, kHttpDate).toLatin1()});
  }

  if (const QByteArray noneMatch = request.Header("If-None-Match");
      !noneMatch.isEmpty() && !plain) {
    for (QByteArray tag : noneMatch.split(',')) {
      tag = tag.trimmed();
      if (tag.startsWith("W/")) tag.remove(0, 2);
      if (tag == "*" || tag == etag) return true;
    }
    return false;
  }
  const QByteArray since = request.Header("If-Modified-Since");
  if (!dated || since.isEmpty()) return false;
  QDateTime sinceDate = QLocale::c().toDateTime(QString::fromLatin1(since), kHttpDate);
  sinceDate.setTimeSpec(Qt::UTC);
  return sinceDate.isValid() && modified.toSecsSinceEpoch() <= sinceDate.toSecsSinceEpoch();
}

}  // namespace

struct Shared {
  mutable QMutex mutex;
  std::map<QByteArray, FeedRoute> routes;
  QString folder;
  std::vector<FeedRequest> requests;
  QString logPath;
  int connections = 0;
  std::atomic<quint16> port{0};
  std::atomic<int> latencyMs{0};
  std::atomic<bool> conditional{true};
  std::atomic<bool> plain{false};

  FeedRoute Find(const FeedRequest& request) const {
    const QByteArray& target = request.target;
    const qsizetype query = target.indexOf('?');
    const QByteArray path = query >= 0 ? target.left(query) : target;
    QString folderCopy;
    {
      QMutexLocker lock(&mutex);
      if (auto it = routes.find(target); it != routes.end()) return it->second;
      if (auto it = routes.find(path); it != routes.end()) return it->second;
      folderCopy = folder;
    }
    if (!folderCopy.isEmpty() && path.startsWith('/')) {
      const QString name = QUrl::fromPercentEncoding(path.mid(1));
      if (!name.isEmpty() && !name.contains('/') && !name.startsWith('.')) {
        QFile file(folderCopy + "/" + name);
        if (file.open(QIODevice::ReadOnly)) {
          FeedRoute route;
          if (conditional && AddValidators(QFileInfo(file), request, plain, route)) {
            route.status = 304;
            route.contentType.clear();
            return route;
          }
          route.body = file.readAll();
          return route;
        }
      }
    }
    FeedRoute missing;
    missing.status = 404;
    missing.contentType = "text/plain";
    missing.body = "not found\n";
    return missing;
  }

  void Log(FeedRequest request) {
    QMutexLocker lock(&mutex);
    if (!logPath.isEmpty()) {
      QFile log(logPath);
      if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        log.write(request.method + " " + request.target + "\n");
      }
    }
    requests.push_back(std::move(request));
  }
};

namespace {

QByteArray Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

constexpr qint64 kEndlessHighWater = 1 << 20;

// One client connection: reads requests one after the other (keep-alive) and answers each by
// its route.
class Connection : public QObject {
 public:
  Connection(QTcpSocket* socket, std::shared_ptr<Shared> shared, QObject* parent)
      : QObject(parent), m_socket(socket), m_shared(std::move(shared)) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &Connection::OnReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &Connection::Pump);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
  }

 private:
  void OnReadyRead() {
    m_in += m_socket->readAll();
    if (!m_busy) NextRequest();
  }

  void NextRequest() {
    const qsizetype end = m_in.indexOf("\r\n\r\n");
    if (end < 0) {
      if (m_in.size() > (1 << 16)) m_socket->abort();
      return;
    }
    const QByteArray head = m_in.left(end);
    m_in.remove(0, end + 4);
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.front().trimmed().split(' ');
    if (requestLine.size() != 3) {
      m_socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      m_socket->disconnectFromHost();
      return;
    }
    FeedRequest request;
    request.method = requestLine[0];
    request.target = requestLine[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      if (colon > 0) {
        request.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
      }
    }
    m_keepAlive = requestLine[2] == "HTTP/1.1" &&
                  request.Header("Connection").compare("close", Qt::CaseInsensitive) != 0;
    const FeedRoute route = m_shared->Find(request);
    m_shared->Log(std::move(request));
    m_busy = true;
    // A timer, not a sleep: the other connections go on being served meanwhile.
    if (const int latency = route.latencyMs + m_shared->latencyMs; latency > 0) {
      QTimer::singleShot(latency, this, [this, route] { Respond(route); });
    } else {
      Respond(route);
    }
  }

  void Respond(const FeedRoute& route) {
    if (route.endless || route.closeAfterBytes >= 0) m_keepAlive = false;
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(route.status) + " " + Reason(route.status) + "\r\n";
    if (!route.contentType.isEmpty()) head += "Content-Type: " + route.contentType + "\r\n";
    if (route.gzip) head += "Content-Encoding: gzip\r\n";
    bool dated = false;
    for (const auto& [name, value] : route.headers) {
      head += name + ": " + value + "\r\n";
      dated |= name.compare("Date", Qt::CaseInsensitive) == 0;
    }
    if (!dated) {
      head +=
          "Date: " + QLocale::c().toString(QDateTime::currentDateTimeUtc(), kHttpDate).toLatin1() +
          "\r\n";
    }
    if (!route.endless && route.status != 304)
      head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\n";
    head += m_keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    m_socket->write(head);

    if (route.endless) {
      m_endless = true;
      Pump();
      return;
    }
    const QByteArray body =
        route.closeAfterBytes >= 0 ? route.body.left(route.closeAfterBytes) : route.body;
    if (route.dripBytes > 0 && route.dripIntervalMs > 0 && !body.isEmpty()) {
      m_drip = body;
      m_dripBytes = route.dripBytes;
      auto* timer = new QTimer(this);
      connect(timer, &QTimer::timeout, this, [this, timer] {
        m_socket->write(m_drip.left(m_dripBytes));
        m_drip.remove(0, m_dripBytes);
        if (m_drip.isEmpty()) {
          timer->deleteLater();
          Finish();
        }
      });
      timer->start(route.dripIntervalMs);
      return;
    }
    m_socket->write(body);
    Finish();
  }

  void Finish() {
    m_busy = false;
    if (!m_keepAlive) {
      m_socket->disconnectFromHost();
    } else if (!m_in.isEmpty()) {
      NextRequest();
    }
  }

  // Keeps an endless body flowing as fast as the client reads it, no faster.
  void Pump() {
    if (!m_endless) return;
    static const QByteArray filler(64 * 1024, 'x');
    while (m_socket->state() == QAbstractSocket::ConnectedState &&
           m_socket->bytesToWrite() < kEndlessHighWater) {
      if (m_socket->write(filler) < 0) break;
    }
  }

  QTcpSocket* m_socket;
  std::shared_ptr<Shared> m_shared;
  QByteArray m_in;
  QByteArray m_drip;
  int m_dripBytes = 0;
  bool m_busy = false;
  bool m_keepAlive = true;
  bool m_endless = false;
};

}  // namespace

class Worker : public QObject {
 public:
  explicit Worker(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

  bool Listen(quint16 port) {
    if (!m_server) {
      m_server = new QTcpServer(this);
      // A benchmark opens many connections at once; the default backlog of 50 would drop some.
      m_server->setListenBacklogSize(1024);
      connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
          {
            QMutexLocker lock(&m_shared->mutex);
            ++m_shared->connections;
          }
          // Headers and body go out as soon as written, as from a tuned server, not after
          // Nagle's wait for the client's acknowledgement.
          socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
          new Connection(socket, m_shared, this);
        }
      });
    }
    if (!m_server->listen(QHostAddress::LocalHost, port)) return false;
    m_shared->port = m_server->serverPort();
    return true;
  }

 private:
  std::shared_ptr<Shared> m_shared;
  QTcpServer* m_server = nullptr;
};

}  // namespace FeedServerDetail

using FeedServerDetail::Shared;
using FeedServerDetail::Worker;

FeedServer::FeedServer(Threading threading)
    : m_shared(std::make_shared<Shared>()), m_worker(new Worker(m_shared)) {
  if (threading == Threading::Own) {
    m_thread = std::make_unique<QThread>();
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
  }
}

FeedServer::~FeedServer() {
  if (m_thread) {
    m_thread->quit();
    m_thread->wait();
  } else {
    delete m_worker;
  }
}

bool FeedServer::Listen(quint16 port) {
  if (!m_thread) return m_worker->Listen(port);
  bool listening = false;
  QMetaObject::invokeMethod(
      m_worker, [&] { listening = m_worker->Listen(port); }, Qt::BlockingQueuedConnection);
  return listening;
}

quint16 FeedServer::Port() const { return m_shared->port; }

std::string FeedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

void FeedServer::SetRoute(const QByteArray& path, const FeedRoute& route) {
  QMutexLocker lock(&m_shared->mutex);
  m_shared->routes[path] = route;
}

void FeedServer::Serve(const QByteArray& path, const QByteArray& body,
                       const QByteArray& contentType) {
  FeedRoute route;
  route.body = body;
  route.contentType = contentType;
  SetRoute(path, route);
}

void FeedServer::SetStatus(const QByteArray& path, int status, const QByteArray& body) {
  FeedRoute route;
  route.status = status;
  route.contentType = "text/html";
  route.body = body;
  SetRoute(path, route);
}

void FeedServer::SetRedirect(const QByteArray& path, const QByteArray& location, int status) {
  FeedRoute route;
  route.status = status;
  route.contentType.clear();
  route.headers.append({"Location", location});
  SetRoute(path, route);
}

void FeedServer::SetRedirectChain(const QByteArray& path, int hops, const QByteArray& target) {
  QByteArray from = path;
  for (int hop = 1; hop < hops; ++hop) {
    const QByteArray next = path + "/" + QByteArray::number(hop);
    SetRedirect(from, next);
    from = next;
  }
  SetRedirect(from, target);
}

void FeedServer::SetRedirectLoop(const QByteArray& path) {
  SetRedirect(path, path + "/loop");
  SetRedirect(path + "/loop", path);
}

void FeedServer::ServeFolder(const QString& folder) {
  QMutexLocker lock(&m_shared->mutex);
  m_shared->folder = folder;
}

void FeedServer::SetLatency(int milliseconds) { m_shared->latencyMs = milliseconds; }

void FeedServer::SetConditional(bool on) { m_shared->conditional = on; }

void FeedServer::SetPlainValidators(bool on) { m_shared->plain = on; }

void FeedServer::LogRequestsTo(const QString& path) {
  QMutexLocker lock(&m_shared->mutex);
  m_shared->logPath = path;
}

std::vector<FeedRequest> FeedServer::Requests() const {
  QMutexLocker lock(&m_shared->mutex);
  return m_shared->requests;
}

int FeedServer::ConnectionsAccepted() const {
  QMutexLocker lock(&m_shared->mutex);
  return m_shared->connections;
}

namespace {

class GzipWriter {
 public:
  GzipWriter() {
    // 15 window bits plus 16: a gzip header and trailer around the deflate data.
    if (deflateInit2(&m_stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
      throw std::runtime_error("deflateInit2 failed");
    }
  }
  ~GzipWriter() { deflateEnd(&m_stream); }
  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  void Add(const char* data, qsizetype size) { Run(data, size, Z_NO_FLUSH); }
  QByteArray Finish() {
    Run(nullptr, 0, Z_FINISH);
    return m_out;
  }

 private:
  void Run(const char* data, qsizetype size, int flush) {
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    m_stream.avail_in = static_cast<uInt>(size);
    char buffer[64 * 1024];
    int status = Z_OK;
    do {
      m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
      m_stream.avail_out = sizeof buffer;
      status = deflate(&m_stream, flush);
      m_out.append(buffer, static_cast<qsizetype>(sizeof buffer - m_stream.avail_out));
    } while (m_stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  }

  z_stream m_stream{};
  QByteArray m_out;
};

}  // namespace

QByteArray FeedServer::Gzip(const QByteArray& data) {
  GzipWriter writer;
  writer.Add(data.constData(), data.size());
  return writer.Finish();
}

QByteArray FeedServer::GzipOfZeros(qint64 inflatedSize) {
  static const QByteArray zeros(1 << 20, '\0');
  GzipWriter writer;
  for (qint64 left = inflatedSize; left > 0; left -= zeros.size()) {
    writer.Add(zeros.constData(), static_cast<qsizetype>(std::min<qint64>(left, zeros.size())));
  }
  return writer.Finish();
}

}  // namespace TestSupport
