#include "shell/ForwardedCheck.h"

#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ForwardedCheck;

namespace {

using ForwardedCheckRun = TestData::DataFolderTest;
const std::string kOne = "http://feeds.test/one", kTwo = "http://feeds.test/two";

// Catches a reader that acts on, or crashes on, anything but the whole request, and a check
// process that takes part of a reply (a reader that ended halfway) for the whole.
TEST(ForwardedCheckProtocol, BadOrPartialRequestsAndRepliesAreRefused) {
  using enum RequestState;
  const std::vector<std::pair<std::string, RequestState>> requests = {
      {"", Partial},
      {"QUILLPOST CH", Partial},
      {std::string(kRequest), Complete},
      {std::string(kRequest) + "x", Refused},
      {"QUILLPOST CHECK 2\n", Refused},
      {"GET / HTTP/1.0\r\n", Refused},
      {std::string("QUILL\0POST", 10), Refused},
      {std::string(1 << 20, 'Q'), Refused}};
  for (const auto& [bytes, state] : requests) EXPECT_EQ(ReadRequest(bytes), state) << bytes;

  const Reply reply{{{true, "Line one\r\n\ttab \\n", "Error!", 48}, {false, "You have 2", {}, 0}},
                    SomeFailed};
  const std::string bytes = WriteReply(reply);
  EXPECT_EQ(ReadReply(bytes), reply);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_EQ(ReadReply(bytes.substr(0, cut)), std::nullopt) << cut;
  for (const char* bad : {"exit\t3\n", "exit\t0\nexit\t0\n", "box\tx\tT\tt\nexit\t0\n",
                          "summary\t\\q\nexit\t0\n", "summary\ta\tb\nexit\t0\n", "refused\n"})
    EXPECT_EQ(ReadReply(bad), std::nullopt) << bad;
}

// Catches boxes of the reader's user going to the check process (or the run's to the screen), a
// busy window popping up for a run nobody at the screen asked for, and services left swapped.
TEST_F(ForwardedCheckRun, ReaderRunCatchesTheRunsBoxesAndSummaryButNotTheUsers) {
  const std::string one = AddSource("One", kOne);
  AddSource("Two", kTwo);
  platform.http.answers[kOne] = {true, 200, TestData::FeedWithItems({"a"}), {}};
  TreeControl tree("tvMessages");
  ASSERT_EQ(mSubscriptions::LoadSubscriptions(tree), true);
  bool userEvents = false;
  platform.http.duringFetch = [&](const std::string&) {
    userEvents = true;
    Services::MessageBox().Show("Saved", "Mine", 0);
    userEvents = false;
  };
  const Reply reply = ForwardedCheck::Run(tree, [&] { return userEvents; });
  std::vector<std::string> events;
  for (const Event& event : reply.events) events.push_back(event.isBox ? event.title : event.text);
  const std::string summary = "You have 1 New Messages \r\n in One account.\r\n\r\n";
  EXPECT_EQ(events, (std::vector<std::string>{"Error!", summary}));
  EXPECT_EQ(reply.status, SomeFailed);
  EXPECT_EQ(platform.messageBox.shown.size(), 2u);  // the user's, once per fetch
  EXPECT_EQ(platform.messageBox.shown.at(0).title, "Mine");
  EXPECT_EQ(platform.progress.alerts, std::vector<std::string>{summary});
  EXPECT_EQ(platform.progress.visible, false);
  EXPECT_EQ(TestData::Messages(tree, one).size(), 1u);
  EXPECT_EQ(Services::Current().messageBox, &platform.messageBox);
  EXPECT_EQ(Services::Current().clock, &platform.clock);
}

}  // namespace
