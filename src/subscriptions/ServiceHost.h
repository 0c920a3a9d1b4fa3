#pragma once
// The web service's host name. A source link is accepted only when it contains it; the subscribe
// dialog, the drop box and the subscription list manager all test against this one value.

#include <string_view>

inline constexpr std::string_view kServiceHost = "news.quillpost.test";
