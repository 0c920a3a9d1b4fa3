#pragma once
// A small RSS 2.0 feed for tests: one item per guid, with title "T <guid>", description
// "D <guid>" and one fixed date.

#include <string>
#include <vector>

namespace TestSupport {

inline std::string FeedWithItems(const std::vector<std::string>& guids) {
  std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>c</title>";
  for (const auto& g : guids) {
    text += "<item><title>T " + g + "</title><description>D " + g +
            "</description><pubDate>Sat, 05 Dec 2026 09:18:46 GMT</pubDate><guid>" + g +
            "</guid></item>";
  }
  return text + "</channel></rss>";
}

}  // namespace TestSupport
