#pragma once
// What makes a source link acceptable: it names the web service's host. The subscribe dialog,
// the drop box and the subscription list manager all test against this one value, and refuse a
// link with the same texts.

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

}  // namespace SourceLink
