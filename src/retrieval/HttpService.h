#pragma once
// Feed downloads over Qt's network access: one GET per call, waited for in a local event loop so
// that window events (and the busy window's status texts) keep running meanwhile.

#include "core/Services.h"

#include <QPointer>

#include <cstdint>

class QNetworkAccessManager;

class HttpService : public Services::IHttp {
 public:
  struct Limits {
    // The whole transfer, redirects included: a server that drips its answer cannot hold a
    // check run longer than this.
    int timeoutMs = 60'000;
    // The body as it arrives, after decompression: a small gzip answer cannot fill the memory.
    std::int64_t maxBodyBytes = std::int64_t{32} << 20;
    int maxRedirects = 10;
  };

  HttpService();
  explicit HttpService(const Limits& limits);
  ~HttpService() override;
  HttpService(const HttpService&) = delete;
  HttpService& operator=(const HttpService&) = delete;

  // Only http and https links are fetched; any other scheme is refused before any access, so a
  // subscription cannot read local files. A transfer error, a status other than 2xx, a time-out
  // or a body over the cap all give ok = false with empty text.
  Result FetchText(const std::string& url, const std::function<void(int)>& onState) override;

  // The instance the program installs.
  static HttpService& Shared();

 private:
  Limits m_limits;
  // Kept between fetches for connection reuse; a child of the application, so it goes with it.
  QPointer<QNetworkAccessManager> m_manager;
};
