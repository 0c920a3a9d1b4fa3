#pragma once
// What makes a source link acceptable: it names the web service's host. The subscribe dialog,
// the drop box and the subscription list manager all test against this one value, and refuse a
// link with the same texts.

#include <optional>
#include <string>
#include <string_view>

namespace SourceLink {

inline constexpr std::string_view kServiceHost = "news.quillpost.test";

inline constexpr const char* kInvalidLinkTitle = "Invalid Quillpost Source Link.";
inline constexpr const char* kInvalidLinkText =
    "Invalid Quillpost Message Source Link. Please specify a correct Quillpost Source Link in "
    "\"Source Link\" field.";

// The subscribe dialog's and the drop box's test: the link contains the host, letter case aside.
bool NamesServiceHost(std::string_view link);
// The list manager's test: the link as typed contains the host, letter case included.
bool NamesServiceHostAsTyped(std::string_view link);

// The link as it is stored: without XML white space at either end (the subscription file's
// reader trims it, so such a blank would never be found again), and with "http://" before a
// link that names no scheme. Nothing for a scheme other than http or https, which no check could
// ever fetch. A host with a port ("host:8080/feed") is no scheme.
std::optional<std::string> Normalized(std::string_view typed);

}  // namespace SourceLink
