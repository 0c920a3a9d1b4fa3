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

// A new link as it is stored, in the form in which links are compared: without XML white space
// at either end (the subscription file's reader trims it), "http:" before a link that names no
// scheme ("//host/x" too), scheme and host in lower case, the default port (80 for http, 443 for
// https) and leading zeros of a port dropped. User name, password, path, query and fragment stay
// exactly as typed. Nothing for a link no check could fetch: a scheme other than http or https,
// a scheme without "//" ("https:host/x", "http:/host"), no host, a host with a blank or one of
// "#%<>@[\]^|" in it, a malformed IPv6 address, a port that is no number up to 65535.
// A host with a port ("host:8080/feed") is no scheme. Normalized of its own result gives it back.
std::optional<std::string> Normalized(std::string_view typed);

// A stored link in the form in which it is compared with a new one: Normalized, or the text as
// it is where it has none (a link stored before these rules, by hand or by another program).
std::string Compared(std::string_view stored);

}  // namespace SourceLink
