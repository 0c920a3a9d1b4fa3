// What the desktop's notification service is given for a notice.
#include "core/DesktopNotice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <tuple>
#include <vector>

using DesktopNotice::Compose;
using DesktopNotice::Notice;

// Catches a summary that says "new messages" for a notice of failures (or the other way round),
// a summary paragraph split over two body lines, markup in a title taken as markup, and a long
// notice that fills the screen.
TEST(DesktopNotice, SummarySaysWhatKindOfNoticeAndTheBodyKeepsOneEscapedLinePerParagraph) {
  const std::string news = "You have 2 New Messages \r\n in Tom & <Jerry> account.\r\n\r\n";
  const std::string failed = "Could not check Hang: timed out after 60 s\r\n\r\n";
  const std::string stopped = "Check stopped after 1 of 3 sources.\r\n\r\n";
  const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
      {news, "Quillpost: new messages",
       "You have 2 New Messages in Tom &amp; &lt;Jerry&gt; account."},
      {failed, "Quillpost: some sources could not be checked",
       "Could not check Hang: timed out after 60 s"},
      {news + failed, "Quillpost: new messages",
       "You have 2 New Messages in Tom &amp; &lt;Jerry&gt; account.\n"
       "Could not check Hang: timed out after 60 s"},
      {news + stopped, "Quillpost: check stopped",
       "You have 2 New Messages in Tom &amp; &lt;Jerry&gt; account.\n"
       "Check stopped after 1 of 3 sources."},
      {"\n\n  \n", "Quillpost", ""},
  };
  for (const auto& [text, summary, body] : rows)
    EXPECT_EQ(Compose(text), (Notice{summary, body})) << text;

  std::string many;
  for (int i = 1; i <= 20; ++i) many += "Could not check S" + std::to_string(i) + ": refused\n\n";
  const Notice notice = Compose(many);
  EXPECT_EQ(std::count(notice.body.begin(), notice.body.end(), '\n') + 1,
            DesktopNotice::kMaxBodyLines);
  EXPECT_EQ(notice.body.substr(notice.body.rfind('\n') + 1), "... and 9 more lines");
}
