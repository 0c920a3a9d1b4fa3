#include "subscriptions/SourceLink.h"

#include "core/AsciiText.h"

#include <cctype>

namespace SourceLink {

namespace {

bool IsDigits(std::string_view text) {
  return text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The scheme the link begins with, when it begins with one: a letter, then letters, digits, "+",
// "-" or "."; then ":". http and https always are one. Another name is one with "//" after the
// colon, or when it holds no dot and no port follows, so that "news.quillpost.test:8080/x" and
// "localhost:8080/x" stay host names.
std::optional<std::string_view> SchemeOf(std::string_view link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon == 0 ||
      !std::isalpha(static_cast<unsigned char>(link[0])))
    return std::nullopt;
  const std::string_view scheme = link.substr(0, colon);
  if (scheme.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") !=
      std::string_view::npos)
    return std::nullopt;
  if (AsciiText::EqualsNoCase(scheme, "http") || AsciiText::EqualsNoCase(scheme, "https"))
    return scheme;
  const std::string_view rest = link.substr(colon + 1);
  const std::size_t digits = rest.find_first_not_of("0123456789");
  const bool port = digits != 0 && (digits == std::string_view::npos || rest[digits] == '/' ||
                                    rest[digits] == '?' || rest[digits] == '#');
  if (rest.starts_with("//") || (scheme.find('.') == std::string_view::npos && !port))
    return scheme;
  return std::nullopt;
}

// A host name no fetch could use: blanks and control characters, and what the web's address
// rules forbid in a host.
bool ValidName(std::string_view host) {
  for (const char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F ||
        std::string_view("#%/:<>?@[\\]^|").find(c) != std::string_view::npos)
      return false;
  }
  return true;
}

// "[...]" around hexadecimal digits, colons and dots (an IPv4 tail); no zone.
bool ValidIpv6(std::string_view host) {
  const std::string_view inner = host.substr(1, host.size() - 2);
  return inner.find(':') != std::string_view::npos &&
         inner.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

}  // namespace

bool NamesServiceHost(std::string_view link) {
  return AsciiText::ContainsNoCase(link, kServiceHost);
}

bool NamesServiceHostAsTyped(std::string_view link) {
  return link.find(kServiceHost) != std::string_view::npos;
}

std::optional<std::string> Normalized(std::string_view typed) {
  const std::string_view link = AsciiText::Trim(typed, AsciiText::kWhitespace);
  std::string scheme = "http";
  std::string_view rest = link;
  if (link.starts_with("//")) {
    rest.remove_prefix(2);
  } else if (const std::optional<std::string_view> named = SchemeOf(link)) {
    scheme = AsciiText::Lower(*named);
    rest.remove_prefix(named->size() + 1);
    if ((scheme != "http" && scheme != "https") || !rest.starts_with("//")) return std::nullopt;
    rest.remove_prefix(2);
  }

  // The authority: [user[:password]@]host[:port], up to the path, the query or the fragment.
  const std::size_t end = std::min(rest.find_first_of("/?#"), rest.size());
  const std::string_view authority = rest.substr(0, end);
  const std::string_view tail = rest.substr(end);
  const std::size_t at = authority.rfind('@');
  const std::string_view userinfo = at == std::string_view::npos ? "" : authority.substr(0, at + 1);
  const std::string_view hostPort = authority.substr(userinfo.size());
  std::string_view host = hostPort;
  std::string_view port;
  if (hostPort.starts_with('[')) {
    const std::size_t close = hostPort.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = hostPort.substr(0, close + 1);
    const std::string_view after = hostPort.substr(close + 1);
    if (!after.empty() && after[0] != ':') return std::nullopt;
    if (!after.empty()) port = after.substr(1);
    if (!ValidIpv6(host)) return std::nullopt;
  } else {
    const std::size_t colon = hostPort.find(':');
    if (colon != std::string_view::npos) {
      host = hostPort.substr(0, colon);
      port = hostPort.substr(colon + 1);
    }
    if (host.empty() || !ValidName(host)) return std::nullopt;
  }

  std::string stored = scheme + "://" + std::string(userinfo) + AsciiText::Lower(host);
  if (!port.empty()) {
    if (!IsDigits(port)) return std::nullopt;
    port.remove_prefix(std::min(port.find_first_not_of('0'), port.size() - 1));
    if (port.size() > 5 || std::stoul(std::string(port)) > 65535) return std::nullopt;
    const bool standard =
        (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
    if (!standard) stored += ":" + std::string(port);
  }
  return stored + std::string(tail);
}

std::string Compared(std::string_view stored) {
  return Normalized(stored).value_or(std::string(stored));
}

}  // namespace SourceLink
