#pragma once
// What a message page may fetch. A feed controls the page, and a newsletter's pictures tell its
// sender when, where and how often it was read: nothing comes from the network but pictures over
// http and https, and those only once the user allowed them. Local addresses (the page itself,
// data: pictures) are left to the page's settings, which read no other file.
//
// Header only: the web view module uses it without linking the logic library.

#include "core/AsciiText.h"

#include <cstddef>
#include <string_view>

namespace RequestPolicy {

// The kind of resource the page asks for.
enum class Kind { Picture, Other };

enum class Verdict {
  Local,          // not the network's: left to the page's settings
  ShownPicture,   // a remote picture the user allowed: fetched, the bar says so
  HiddenPicture,  // a remote picture not allowed yet: refused, the bar offers it
  Refused,        // anything else from outside: refused without a word
};

inline Verdict ForRequest(std::string_view scheme, Kind kind, bool picturesAllowed) {
  const auto is = [scheme](std::string_view name) {
    if (scheme.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
      if (AsciiText::Lower(scheme[i]) != name[i]) return false;
    return true;
  };
  if (is("file") || is("data") || is("blob") || is("about")) return Verdict::Local;
  if (kind != Kind::Picture || !(is("http") || is("https"))) return Verdict::Refused;
  return picturesAllowed ? Verdict::ShownPicture : Verdict::HiddenPicture;
}

}  // namespace RequestPolicy
