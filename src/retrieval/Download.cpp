#include "retrieval/Download.h"

#include "core/AsciiText.h"

#include <array>

namespace Download {

namespace {

constexpr std::array<const char*, 12> kStateTexts = {
    "Resolving Host Route...",
    "Done! Connecting Gateway...",
    "Done! Authentication in progress...",
    "Done! Opening Session...",
    "Done! Sending Status Request...",
    "Request Sent! Waiting for Server reply...",
    "Info Chunk received! Buffering...",
    "Acknowledgement sent...",
    "Done! Releasing Session...",
    "Done! Parsing Data ...",
    "Error in reading Server Response!",
    "Server Communication complete.",
};

// The scheme in lower case and the host of "scheme://[user@]host[:port]/...", as far as they
// can be told; empty parts when the link has no such form.
struct LinkParts {
  std::string scheme;
  std::string_view host;
};

LinkParts Split(std::string_view link) {
  LinkParts parts;
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || link.substr(colon + 1, 2) != "//") return parts;
  parts.scheme = AsciiText::Lower(link.substr(0, colon));
  std::string_view authority = link.substr(colon + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
    authority.remove_prefix(at + 1);
  // A bracketed IPv6 address holds colons of its own.
  const std::size_t end =
      authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':');
  parts.host = authority.substr(0, end);
  return parts;
}

}  // namespace

std::string LinkRefusal(std::string_view link) {
  const LinkParts parts = Split(link);
  if (parts.scheme != "http" && parts.scheme != "https") return "scheme not http or https";
  if (parts.host.empty()) return "no host in the link";
  return {};
}

std::string RedirectRefusal(std::string_view from, std::string_view to) {
  if (!LinkRefusal(to).empty()) return "redirect to a link that is not http or https refused";
  if (Split(from).scheme == "https" && Split(to).scheme == "http")
    return "redirect from https to http refused";
  return {};
}

std::optional<INetState> INetStateFromInt(int state) {
  if (state < 1 || state > 12) return std::nullopt;
  return static_cast<INetState>(state);
}

std::string TranslateINetState(int state) {
  if (!INetStateFromInt(state)) return {};
  return kStateTexts[static_cast<std::size_t>(state - 1)];
}

}  // namespace Download
