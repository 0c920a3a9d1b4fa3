#pragma once
// Feed transfers over Qt's network access. Several run at once on the program's thread; waiting
// runs a local event loop, so window events (and the busy window's status texts) go on meanwhile.

#include "core/Services.h"
#include "core/Timing.h"

#include <QPointer>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class QEventLoop;
class QNetworkAccessManager;

class HttpService : public Services::IHttp {
 public:
  struct Limits {
    // Each whole transfer, redirects included: a server that drips its answer cannot hold a
    // check run longer than this.
    int timeoutMs = Timing::MinuteMs;
    // The body as it arrives, after decompression: a small gzip answer cannot fill the memory.
    std::int64_t maxBodyBytes = std::int64_t{32} << 20;
    int maxRedirects = 10;
  };

  HttpService();
  explicit HttpService(const Limits& limits);
  ~HttpService() override;
  HttpService(const HttpService&) = delete;
  HttpService& operator=(const HttpService&) = delete;

  // Only http and https links are fetched; any other is refused before any access. A transfer
  // error, a status other than 2xx (or 304 to the validators sent), a time-out or a body over
  // the cap all give ok = false with empty text and the reason.
  TransferId Start(const Request& request, std::function<void(int)> onState) override;
  bool Finished(TransferId id) override;
  std::size_t HeldBytes(TransferId id) override;
  Result Take(TransferId id) override;
  void Abort(TransferId id) override;
  void WaitForAny() override;

  // The instance the program installs.
  static HttpService& Shared();

  class Transfer;

 private:
  friend class Transfer;
  // A transfer ended or was aborted: every wait returns.
  void Ended();

  Limits m_limits;
  // Kept between transfers for connection reuse; a child of the application, so it goes with it.
  QPointer<QNetworkAccessManager> m_manager;
  std::map<TransferId, QPointer<Transfer>> m_transfers;
  TransferId m_nextId = 1;
  std::vector<QEventLoop*> m_waits;
  std::uint64_t m_ended = 0;  // transfers ended or aborted so far
};
