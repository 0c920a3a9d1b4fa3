#include "presentation/RequestPolicy.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using RequestPolicy::ForRequest;
using RequestPolicy::Kind;
using RequestPolicy::Verdict;

// What a message page loads, below page_safety_e2e.sh, which shows the real page asks for it.
TEST(RequestPolicy, OnlyRemotePicturesTheUserAllowedLoad) {
  const std::tuple<const char*, Kind, bool, Verdict> rows[] = {
      // The page itself and what it embeds come from the page's settings, never the network.
      {"file", Kind::Other, false, Verdict::Local},
      {"data", Kind::Picture, false, Verdict::Local},
      {"blob", Kind::Other, true, Verdict::Local},
      {"about", Kind::Other, false, Verdict::Local},
      // Remote pictures wait for the user's choice, over http and https only.
      {"https", Kind::Picture, false, Verdict::HiddenPicture},
      {"http", Kind::Picture, true, Verdict::ShownPicture},
      {"HTTPS", Kind::Picture, true, Verdict::ShownPicture},
      {"ftp", Kind::Picture, true, Verdict::Refused},
      {"", Kind::Picture, true, Verdict::Refused},
      // Fonts, style sheets, frames, scripts and the like never load, whatever the choice.
      {"https", Kind::Other, true, Verdict::Refused},
      {"http", Kind::Other, false, Verdict::Refused},
      {"ws", Kind::Other, true, Verdict::Refused},
      {"filesystem", Kind::Other, true, Verdict::Refused},
  };
  for (const auto& [scheme, kind, allowed, verdict] : rows) {
    EXPECT_EQ(ForRequest(scheme, kind, allowed), verdict)
        << scheme << (kind == Kind::Picture ? " picture" : " other") << (allowed ? ", allowed" : "");
  }
}

}  // namespace
