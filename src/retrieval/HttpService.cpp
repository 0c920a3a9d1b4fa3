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

#include <memory>

namespace {

using Download::INetState;

// Turns the reply's signals into state codes: never backwards, each code once except
// "receiving", and states that Qt passes without a signal (a reused connection does not
// connect again) are reported on the way to the next one.
class StateReporter {
 public:
  explicit StateReporter(const std::function<void(int)>& onState) : m_onState(onState) {}

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

  const std::function<void(int)>& m_onState;
  int m_last = 0;
};

bool IsWebLink(const QUrl& link) {
  const QString scheme = link.scheme().toLower();
  return link.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
         !link.host().isEmpty();
}

std::string DurationText(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string SizeText(std::int64_t bytes) {
  return bytes % (1 << 20) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                : std::to_string(bytes) + " bytes";
}

// The logic decodes the charsets feeds use; any other one Qt may know (through ICU).
std::string DecodeBody(const QByteArray& body, const QByteArray& contentType) {
  const std::string_view bytes(body.constData(), static_cast<std::size_t>(body.size()));
  const std::string charset = Charset::Detect(bytes, contentType.toStdString());
  if (!Charset::IsSupported(charset)) {
    QStringDecoder decoder(charset.c_str());
    if (decoder.isValid()) {
      const QByteArray utf8 = QString(decoder.decode(body)).toUtf8();
      return Charset::Decode(std::string_view(utf8.constData(), utf8.size()), "utf-8");
    }
  }
  return Charset::Decode(bytes, charset);
}

// Qt's texts, without the dangling colon some of them end with.
std::string ShortReason(const QString& text) {
  QString reason = text.trimmed();
  while (reason.endsWith(u':')) reason = reason.chopped(1).trimmed();
  return reason.isEmpty() ? std::string("transfer failed") : reason.toStdString();
}

// What Qt may hold of an answer before this thread has taken it.
constexpr qint64 kReadBufferBytes = qint64{1} << 20;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One fetch with its redirects, waited for in a local event loop. Redirects are followed here
// rather than by Qt: each hop's link is checked (web links only, no step down from https), and
// Qt's own following sent some requests twice over kept-alive connections.
class Transfer {
 public:
  Transfer(QNetworkAccessManager& manager, const HttpService::Limits& limits, StateReporter& states)
      : m_manager(manager), m_limits(limits), m_states(states) {
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_loop, [this] {
      Stop("no complete answer within " + DurationText(m_limits.timeoutMs));
    });
  }

  Services::IHttp::Result Run(QUrl link) {
    Services::IHttp::Result result;
    m_deadline.start(m_limits.timeoutMs);
    for (int redirects = 0;; ++redirects) {
      Get(link);
      result.status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
      const QVariant target = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
      if (!m_stopReason.empty()) {
        result.error = m_stopReason;
      } else if (IsRedirect(result.status) && target.isValid()) {
        const QUrl next = link.resolved(target.toUrl());
        if (!IsWebLink(next)) {
          result.error = "redirect to a link that is not http or https refused";
        } else if (link.scheme().toLower() == QLatin1String("https") &&
                   next.scheme().toLower() == QLatin1String("http")) {
          result.error = "redirect from https to http refused";
        } else if (redirects == m_limits.maxRedirects) {
          result.error = "more than " + std::to_string(m_limits.maxRedirects) + " redirects";
        } else {
          link = next;
          continue;
        }
      } else if (result.status != 0 && (result.status < 200 || result.status > 299)) {
        result.error = "server answered " + std::to_string(result.status);
      } else if (m_reply->error() != QNetworkReply::NoError) {
        result.error = ShortReason(m_reply->errorString());
      } else if (result.status == 0) {
        result.error = "no HTTP answer";
      } else {
        result.ok = true;
      }
      break;
    }
    m_deadline.stop();
    if (result.ok) result.text = DecodeBody(m_body, m_reply->rawHeader("Content-Type"));
    return result;
  }

 private:
  void Get(const QUrl& link) {
    QNetworkRequest request(link);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(
        QNetworkRequest::UserAgentHeader,
        QStringLiteral("Quillpost/%1.%2").arg(QP_VERSION_MAJOR).arg(QP_VERSION_MINOR));
    m_body.clear();
    m_reply.reset(m_manager.get(request));
    QNetworkReply* reply = m_reply.get();
    // Qt's network thread otherwise reads as fast as the server sends and queues it all for
    // this thread: an endless answer took over a gigabyte before the cap below could act.
    reply->setReadBufferSize(kReadBufferBytes);

    QObject::connect(reply, &QNetworkReply::socketStartedConnecting, &m_loop,
                     [this] { m_states.Reach(INetState::Connecting); });
    QObject::connect(reply, &QNetworkReply::requestSent, &m_loop,
                     [this] { m_states.Reach(INetState::RequestSent); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &m_loop, [this, reply] {
      // A declared length over the cap fails at once rather than after the download; a
      // compressed answer declares its compressed length, so there the count of what arrives
      // decides.
      const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
      if (length.isValid() && !reply->hasRawHeader("Content-Encoding") &&
          length.toLongLong() > m_limits.maxBodyBytes) {
        Stop("answer larger than " + SizeText(m_limits.maxBodyBytes));
        return;
      }
      m_states.Reach(INetState::ReceivingResponse);
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &m_loop, [this] {
      if (Take()) m_states.Reach(INetState::ReceivingResponse);
    });
    QObject::connect(reply, &QNetworkReply::finished, &m_loop, &QEventLoop::quit);

    if (!reply->isFinished()) m_loop.exec();
    // The application leaving ends every event loop, this one before its reply.
    if (!reply->isFinished()) Stop("interrupted");
    if (m_stopReason.empty()) Take();
  }

  // Moves what has arrived into the body; false (and the transfer stopped) past the cap.
  bool Take() {
    m_body += m_reply->readAll();
    if (m_body.size() <= m_limits.maxBodyBytes) return true;
    Stop("answer larger than " + SizeText(m_limits.maxBodyBytes));
    return false;
  }

  void Stop(std::string reason) {
    if (m_stopReason.empty()) m_stopReason = std::move(reason);
    if (m_reply && !m_reply->isFinished()) m_reply->abort();
  }

  QNetworkAccessManager& m_manager;
  const HttpService::Limits& m_limits;
  StateReporter& m_states;
  QEventLoop m_loop;
  QTimer m_deadline;
  std::string m_stopReason;
  QByteArray m_body;
  std::unique_ptr<QNetworkReply> m_reply;
};

}  // namespace

HttpService::HttpService() : HttpService(Limits{}) {}

HttpService::HttpService(const Limits& limits) : m_limits(limits) {}

HttpService::~HttpService() {
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

Services::IHttp::Result HttpService::FetchText(const std::string& url,
                                               const std::function<void(int)>& onState) {
  Result result;
  StateReporter states(onState);
  const QUrl link(QString::fromStdString(url));
  if (!IsWebLink(link)) {
    result.error = "not an http or https link";
    states.Fail();
    return result;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    result.error = "no event loop to wait in";
    states.Fail();
    return result;
  }

  // One manager per thread: the program's lives with the application, another thread gets its
  // own for this call.
  std::unique_ptr<QNetworkAccessManager> ownManager;
  QNetworkAccessManager* manager = nullptr;
  if (QThread::currentThread() == app->thread()) {
    if (!m_manager) m_manager = new QNetworkAccessManager(app);
    manager = m_manager;
  } else {
    ownManager = std::make_unique<QNetworkAccessManager>();
    manager = ownManager.get();
  }

  states.Reach(INetState::ResolvingHost);
  result = Transfer(*manager, m_limits, states).Run(link);
  if (result.ok) {
    states.Reach(INetState::ResponseCompleted);
  } else {
    states.Fail();
  }
  return result;
}
