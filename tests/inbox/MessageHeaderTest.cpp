#include "inbox/MessageHeader.h"

#include "TestPaths.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using namespace mInbox;
using TestSupport::ReadAll;

namespace {

using Fields = std::vector<std::string>;
Fields Split(const MessageHeader& h) {
  return {h.FromName, h.FromEmail, h.Subject, h.Date, h.ReplyToName, h.ReplyToEmail, h.Body};
}

TEST(ParseMessageHeader, SplitsBlocksAsTheyAreWritten) {
  const std::string fixture = ReadAll(QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm");
  const std::vector<std::pair<std::string, Fields>> cases{
      {fixture,
       {"Ann Editor ", "ann@news.example", "The Tuesday Letter, spring issue",
        "Tue, 01 Dec 2026 09:18:46 +0000", "Letters Desk ", "letters@news.example",
        fixture.substr(fixture.find("<div"))}},
      // Two characters after "from:" are skipped: an unquoted name loses its first one.
      {"<!--header start: From: Ann Editor &lt;ann@x.example&gt;Subject: Hi Date: Mon Reply-To: "
       "desk@x.example header end -->}B",
       {"nn Editor ", "ann@x.example", "Hi ", "Mon ", "", "desk@x.example ", "B"}},
      // Fields end at the next field's name in any case, even inside a word.
      {"header start: from: \"A\" <a@x>SUBJECT: News on dates DATE: soon, reply later "
       "REPLY-TO: \"R\" <r@x>header end -->B",
       {"A ", "a@x", "News on ", "soon, ", "R ", "r@x", "B"}},
      // Escaped line breaks and paragraph tags go, other entities stay; the body starts after
      // the first "}".
      {"<!-- header start: <p>From: &quot;A&quot; &lt;a@x&gt;&lt;br /&gt;Subject: Q&amp;A&lt;br "
       "/&gt;Date: D&lt;br /&gt;Reply-To: &quot;R&quot; &lt;r@x&gt;</p>header end -->{a}{b}<p>",
       {"A ", "a@x", "Q&amp;A", "D", "R ", "r@x", "{b}<p>"}},
      // Missing names give empty fields; a cut without its end runs to the end of the block.
      {"header start: From: \"A\" <a@x>Date: Tue header end -->B",
       {"A ", "a@xDate: Tue ", "", "Tue ", "", "", "B"}},
      // Without the block nothing of the text is lost.
      {"<p>A plain letter. From: x, subject: y}</p>",
       {"", "", "", "", "", "", "<p>A plain letter. From: x, subject: y}</p>"}},
      // Skipped characters are whole UTF-8 characters.
      {"header start: From: \xC3\x84ngel <a@x>Subject: S Date: D Reply-To: r@x header end -->B",
       {"ngel ", "a@x", "S ", "D ", "", "r@x ", "B"}},
  };
  for (const auto& [description, expected] : cases)
    EXPECT_EQ(Split(ParseMessageHeader(description)), expected) << description;
}

TEST(HeaderOf, AMessageWithoutTheHeaderBlockShowsItsTitleAndDate) {
  mInbox::InboxItem item{"g", "Spring issue", "", "Tue, 01 Dec 2026", "09:18:46", "+0000"};
  const std::pair<std::string, Fields> rows[] = {
      {"<p>A plain letter.</p>",
       {"", "", "Spring issue", "Tue, 01 Dec 2026 09:18:46 +0000", "", "", "<p>A plain letter.</p>"}},
      // A block keeps what it says, an empty subject included.
      {"header start: From: \"A\" <a@x>Subject: Date: Mon Reply-To: r@x header end -->B",
       {"A ", "a@x", "", "Mon ", "", "r@x ", "B"}},
      // Without its end the block is none.
      {"header start: From: \"A\" <a@x>B",
       {"", "", "Spring issue", "Tue, 01 Dec 2026 09:18:46 +0000", "", "",
        "header start: From: \"A\" <a@x>B"}},
  };
  for (const auto& [description, expected] : rows) {
    item.description = description;
    EXPECT_EQ(Split(HeaderOf(item)), expected) << description;
  }
  item = {"g", "T", "<p>x</p>", "Tue, 01 Dec 2026", "", "GMT"};
  EXPECT_EQ(HeaderOf(item).Date, "Tue, 01 Dec 2026 GMT");
}

}  // namespace
