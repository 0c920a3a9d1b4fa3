#include "retrieval/HttpService.h"

#include "retrieval/Charset.h"
#include "retrieval/Download.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

using Download::INetState;

// Turns the reply's signals into state codes: never backwards, each code once except
// "receiving", and states that Qt passes without a signal (a reused connection does not
// connect again) are reported on the way to the next one.
class StateReporter {
 public:
  explicit StateReporter(std::function<void(int)> onState) : m_onState(std::move(onState)) {}

  void Reach(INetState state) {
    const int target = static_cast<int>(state);
    if (m_last >= static_cast<int>(INetState::Error)) return;
    if (target == m_last && state == INetState::ReceivingResponse) {
      Report(target);
      return;
    }
    while (m_last < target) {
      ++m_last;
      if (m_last != static_cast<int>(INetState::Error)) Report(m_last);
    }
  }

  void Fail() {
    if (m_last >= static_cast<int>(INetState::Error)) return;
    m_last = static_cast<int>(INetState::Error);
    Report(m_last);
  }

 private:
  void Report(int state) {
    if (m_onState) m_onState(state);
  }

  std::function<void(int)> m_onState;
  int m_last = 0;
};

std::string DurationText(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string SizeText(std::int64_t bytes) {
  return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                : std::to_string(bytes) + " bytes";
}

// The logic decodes the charsets feeds use; any other one Qt may know (through ICU).
std::string DecodeBody(std::string body, const std::string& contentType) {
  const std::string charset = Charset::Detect(body, contentType);
  if (!Charset::IsSupported(charset)) {
    QStringDecoder decoder(charset.c_str());
    if (decoder.isValid()) {
      const QByteArray utf8 =
          QString(decoder.decode(QByteArrayView(body.data(), qsizetype(body.size())))).toUtf8();
      return Charset::DecodeOwned(std::string(utf8.constData(), std::size_t(utf8.size())), "utf-8");
    }
  }
  return Charset::DecodeOwned(std::move(body), charset);
}

// What the user is told about a failed transfer: the usual words, not Qt's.
std::string Reason(const QNetworkReply& reply) {
  switch (reply.error()) {
    case QNetworkReply::ConnectionRefusedError:
      return "connection refused";
    case QNetworkReply::HostNotFoundError:
      return "host not found";
    case QNetworkReply::RemoteHostClosedError:
      return "connection closed by the server";
    case QNetworkReply::TimeoutError:
      return "the connection timed out";
    case QNetworkReply::SslHandshakeFailedError:
      return "secure connection failed";
    default:
      break;
  }
  QString text = reply.errorString().trimmed();
  while (text.endsWith(u':')) text = text.chopped(1).trimmed();
  return text.isEmpty() ? std::string("transfer failed") : text.toStdString();
}

// What Qt may hold of an answer before this thread has taken it.
constexpr qint64 kReadBufferBytes = qint64{1} << 20;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

// One fetch with its redirects, driven by the reply's signals. Redirects are followed here rather
// than by Qt: each hop's link is checked (Download::RedirectRefusal), and Qt's own following sent
// some requests twice over kept-alive connections.
class HttpService::Transfer : public QObject {
 public:
  Transfer(HttpService& owner, QNetworkAccessManager* manager, const Request& request,
           std::function<void(int)> onState)
      : QObject(manager),
        m_owner(owner),
        m_manager(manager),
        m_request(request),
        m_states(std::move(onState)) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this,
            [this] { Stop("timed out after " + DurationText(m_owner.m_limits.timeoutMs)); });
  }

  ~Transfer() override { Drop(); }

  void Begin() {
    m_deadline.start(m_owner.m_limits.timeoutMs);
    m_states.Reach(INetState::ResolvingHost);
    Get(QUrl(QString::fromStdString(m_request.url)));
  }

  // Ends it without a word: the reply goes, nothing more is reported.
  void Drop() {
    m_deadline.stop();
    if (!m_reply) return;
    m_reply->disconnect(this);
    if (!m_reply->isFinished()) m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
  }

  void Fail(std::string reason) {
    m_result.error = std::move(reason);
    End();
  }

  bool finished = false;
  Result m_result;
  std::string m_body;

 private:
  void Get(const QUrl& link) {
    m_link = link;
    QNetworkRequest request(link);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(
        QNetworkRequest::UserAgentHeader,
        QStringLiteral("Quillpost/%1.%2").arg(QP_VERSION_MAJOR).arg(QP_VERSION_MINOR));
    if (!m_request.etag.empty())
      request.setRawHeader("If-None-Match", QByteArray::fromStdString(m_request.etag));
    if (!m_request.lastModified.empty())
      request.setRawHeader("If-Modified-Since", QByteArray::fromStdString(m_request.lastModified));
    m_body.clear();
    QNetworkReply* reply = m_manager->get(request);
    m_reply = reply;
    // Qt's network thread otherwise reads as fast as the server sends and queues it all for
    // this thread: an endless answer took over a gigabyte before the cap below could act.
    reply->setReadBufferSize(kReadBufferBytes);

    connect(reply, &QNetworkReply::socketStartedConnecting, this,
            [this] { m_states.Reach(INetState::Connecting); });
    connect(reply, &QNetworkReply::requestSent, this,
            [this] { m_states.Reach(INetState::RequestSent); });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
      // A declared length over the cap fails at once rather than after the download; a
      // compressed answer declares its compressed length, so there the count of what arrives
      // decides. A declared length is taken whole, so the body grows in one piece.
      const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
      if (length.isValid() && !reply->hasRawHeader("Content-Encoding")) {
        if (length.toLongLong() > m_owner.m_limits.maxBodyBytes) {
          Stop("answer larger than " + SizeText(m_owner.m_limits.maxBodyBytes));
          return;
        }
        m_body.reserve(static_cast<std::size_t>(std::max<qlonglong>(0, length.toLongLong())));
      }
      m_states.Reach(INetState::ReceivingResponse);
    });
    connect(reply, &QNetworkReply::readyRead, this, [this] {
      if (Read()) m_states.Reach(INetState::ReceivingResponse);
    });
    connect(reply, &QNetworkReply::finished, this, &Transfer::OnFinished);
  }

  // Moves what has arrived into the body; false (and the transfer stopped) past the cap.
  bool Read() {
    const qint64 available = m_reply->bytesAvailable();
    if (available <= 0) return true;
    const std::size_t old = m_body.size();
    const std::int64_t total = static_cast<std::int64_t>(old) + available;
    if (total > m_owner.m_limits.maxBodyBytes) {
      Stop("answer larger than " + SizeText(m_owner.m_limits.maxBodyBytes));
      return false;
    }
    m_body.resize(static_cast<std::size_t>(total));
    const qint64 read = m_reply->read(m_body.data() + old, available);
    m_body.resize(old + static_cast<std::size_t>(std::max<qint64>(0, read)));
    return true;
  }

  void OnFinished() {
    if (m_stopReason.empty()) Read();
    Result& result = m_result;
    QNetworkReply& reply = *m_reply;
    result.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant target = reply.attribute(QNetworkRequest::RedirectionTargetAttribute);
    const bool conditional = !m_request.etag.empty() || !m_request.lastModified.empty();
    if (!m_stopReason.empty()) {
      result.error = m_stopReason;
    } else if (IsRedirect(result.status) && target.isValid()) {
      const QUrl next = m_link.resolved(target.toUrl());
      std::string refusal =
          Download::RedirectRefusal(m_link.toString().toStdString(), next.toString().toStdString());
      if (refusal.empty() && m_redirects == m_owner.m_limits.maxRedirects) {
        refusal =
            "too many redirects (more than " + std::to_string(m_owner.m_limits.maxRedirects) + ")";
      }
      if (refusal.empty()) {
        ++m_redirects;
        m_reply->disconnect(this);
        m_reply->deleteLater();
        Get(next);
        return;
      }
      result.error = std::move(refusal);
    } else if (result.status == 304 && conditional) {
      result.ok = result.notModified = true;
    } else if (result.status != 0 && (result.status < 200 || result.status > 299)) {
      const QString phrase =
          reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
      result.error = "HTTP " + std::to_string(result.status) +
                     (phrase.isEmpty() ? "" : " " + phrase.toStdString());
    } else if (reply.error() != QNetworkReply::NoError) {
      result.error = Reason(reply);
    } else if (result.status == 0) {
      result.error = "no HTTP answer";
    } else {
      result.ok = true;
      result.etag = reply.rawHeader("ETag").toStdString();
      result.lastModified = reply.rawHeader("Last-Modified").toStdString();
      result.date = reply.rawHeader("Date").toStdString();
      m_contentType = reply.rawHeader("Content-Type").toStdString();
    }
    End();
  }

  void Stop(std::string reason) {
    if (m_stopReason.empty()) m_stopReason = std::move(reason);
    if (m_reply && !m_reply->isFinished()) m_reply->abort();  // finished follows
  }

  void End() {
    m_deadline.stop();
    if (m_result.ok && !m_result.notModified) {
      m_result.text = DecodeBody(std::move(m_body), m_contentType);
    }
    m_body = std::string();
    finished = true;
    if (m_result.ok) {
      m_states.Reach(INetState::ResponseCompleted);
    } else {
      m_states.Fail();
    }
    m_owner.Ended();
  }

 private:
  HttpService& m_owner;
  QNetworkAccessManager* m_manager;
  const Request m_request;
  StateReporter m_states;
  QTimer m_deadline;
  // The manager deletes its replies with itself, maybe before this.
  QPointer<QNetworkReply> m_reply;
  QUrl m_link;
  int m_redirects = 0;
  std::string m_stopReason;
  std::string m_contentType;
};

HttpService::HttpService() : HttpService(Limits{}) {}

HttpService::HttpService(const Limits& limits) : m_limits(limits) {}

HttpService::~HttpService() {
  for (auto& [id, transfer] : m_transfers) delete transfer.data();
  if (!m_manager) return;
  if (m_manager->thread() == QThread::currentThread()) {
    delete m_manager.data();
  } else {
    m_manager->deleteLater();
  }
}

HttpService& HttpService::Shared() {
  static HttpService instance;
  return instance;
}

Services::IHttp::TransferId HttpService::Start(const Request& request,
                                               std::function<void(int)> onState) {
  const TransferId id = m_nextId++;
  QCoreApplication* app = QCoreApplication::instance();
  std::string refusal = Download::LinkRefusal(request.url);
  if (refusal.empty() && !QUrl(QString::fromStdString(request.url)).isValid())
    refusal = "not a valid link";
  if (!app || QThread::currentThread() != app->thread()) {
    refusal = "no event loop to wait in";
  } else if (!m_manager) {
    m_manager = new QNetworkAccessManager(app);
  }
  auto* transfer = new Transfer(*this, m_manager, request, std::move(onState));
  m_transfers[id] = transfer;
  // A refused link ends at once, without any access.
  if (refusal.empty()) {
    transfer->Begin();
  } else {
    transfer->Fail(refusal);
  }
  return id;
}

bool HttpService::Finished(TransferId id) {
  const auto it = m_transfers.find(id);
  return it == m_transfers.end() || !it->second || it->second->finished;
}

std::size_t HttpService::HeldBytes(TransferId id) {
  const auto it = m_transfers.find(id);
  if (it == m_transfers.end() || !it->second) return 0;
  return it->second->m_body.size() + it->second->m_result.text.size();
}

Services::IHttp::Result HttpService::Take(TransferId id) {
  const auto it = m_transfers.find(id);
  if (it == m_transfers.end()) return {false, 0, {}, "no such transfer"};
  QPointer<Transfer> transfer = it->second;
  m_transfers.erase(it);
  if (!transfer) return {false, 0, {}, "interrupted"};
  if (!transfer->finished) {
    transfer->Drop();
    delete transfer.data();
    return {false, 0, {}, "taken before its end"};
  }
  Result result = std::move(transfer->m_result);
  transfer->deleteLater();
  return result;
}

void HttpService::Abort(TransferId id) {
  const auto it = m_transfers.find(id);
  if (it == m_transfers.end()) return;
  QPointer<Transfer> transfer = it->second;
  m_transfers.erase(it);
  if (transfer) {
    transfer->Drop();
    // It may be the one whose signal runs this call: gone once control is back in a loop.
    transfer->deleteLater();
  }
  Ended();
}

void HttpService::Ended() {
  ++m_ended;
  for (QEventLoop* wait : m_waits) wait->quit();
}

void HttpService::WaitForAny() {
  bool underWay = false;
  for (const auto& [id, transfer] : m_transfers) underWay |= transfer && !transfer->finished;
  if (!underWay) return;
  QEventLoop loop;
  m_waits.push_back(&loop);
  const std::uint64_t endedBefore = m_ended;
  loop.exec();
  std::erase(m_waits, &loop);
  if (m_ended != endedBefore) return;
  // The application is leaving: it ends every event loop, this one before its transfers.
  for (auto& [id, transfer] : m_transfers) {
    if (!transfer || transfer->finished) continue;
    transfer->Drop();
    transfer->Fail("interrupted");
  }
}
