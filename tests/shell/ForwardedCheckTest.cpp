#include "shell/ForwardedCheck.h"

#include "retrieval/CheckRun.h"
#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ForwardedCheck;

namespace {

using ForwardedCheckRun = TestData::DataFolderTest;
const std::string kOne = "http://feeds.test/one", kTwo = "http://feeds.test/two";

// What a request reads as: its state, and for a whole one its kind, length and outlines.
std::string Read(const std::string& bytes) {
  const Request request = ReadRequest(bytes);
  if (request.state != RequestState::Complete)
    return request.state == RequestState::Partial ? "partial" : "refused";
  std::string text = std::vector<std::string>{"check", "show", "import"}[int(request.kind)] +
                     " " + std::to_string(request.length);
  if (request.outlines.size() > 2) return text + " (" + std::to_string(request.outlines.size()) + ")";
  for (const Outline& outline : request.outlines)
    text += " [" + outline.title + "|" + outline.link + "]";
  return text;
}

// Catches a reader that acts on, or crashes on, anything but a whole request (an import it would
// half carry out), and a command that takes part of a reply (a reader that ended halfway) for
// the whole.
TEST(ForwardedCheckProtocol, BadOrPartialRequestsAndRepliesAreRefused) {
  const std::string import = WriteImportRequest({{"Tab\there", "http://a/\\x"}, {"", "b"}});
  const std::vector<std::pair<std::string, std::string>> requests = {
      {"", "partial"},
      {"QUILLPOST CH", "partial"},
      {std::string(kCheckRequest), "check 18"},
      {std::string(kCheckRequest) + std::string(kStopRequest), "check 18"},
      {std::string(kShowRequest), "show 17"},
      {"QUILLPOST CHECK 2\n", "refused"},
      {"GET / HTTP/1.0\r\n", "refused"},
      {std::string("QUILL\0POST", 10), "refused"},
      {std::string(1 << 20, 'Q'), "refused"},
      {import, "import 65 [Tab\there|http://a/\\x] [|b]"},
      {import.substr(0, import.size() - 1), "partial"},
      {std::string(kImportRequest) + "outline\tt\tfriend\n", "partial"},
      {std::string(kImportRequest) + "outline\tonly title\nend\n", "refused"},
      {std::string(kImportRequest) + "outline\t\\q\tx\nend\n", "refused"},
      {std::string(kImportRequest) + "end\n", "import 23"},
      {WriteImportRequest(std::vector<Outline>(kMaxOutlines, {"t", "l"})), "import 120023 (10000)"},
      {WriteImportRequest(std::vector<Outline>(kMaxOutlines + 1, {"t", "l"})), "refused"},
      {std::string(kImportRequest) + std::string(kMaxRequestBytes, 'x') + "end\n", "refused"}};
  for (const auto& [bytes, read] : requests) EXPECT_EQ(Read(bytes), read) << bytes.substr(0, 40);

  using Kind = Event::Kind;
  const Reply reply{{{Kind::Box, "Line one\r\n\ttab \\n", "Error!", 48},
                     {Kind::Summary, "You have 2", {}, 0},
                     {Kind::Skipped, "\"A\" <x>: no link", {}, 0},
                     {Kind::Added, "3", {}, 0},
                     {Kind::Error, "cannot write", {}, 0}},
                    SomeFailed};
  const std::string bytes = WriteReply(reply);
  EXPECT_EQ(ReadReply(bytes), reply);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_EQ(ReadReply(bytes.substr(0, cut)), std::nullopt) << cut;
  for (const char* bad : {"exit\t3\n", "exit\t0\nexit\t0\n", "box\tx\tT\tt\nexit\t0\n",
                          "summary\t\\q\nexit\t0\n", "summary\ta\tb\nexit\t0\n", "added\tx\nexit\t0\n",
                          "refused\n"})
    EXPECT_EQ(ReadReply(bad), std::nullopt) << bad;
}

// The reader's run is an automatic one (no busy window, the tree usable, no box on the reader's
// screen: a box would wait for someone there), while the command prints what a check of its own
// prints: the failure's box and the summary of new messages. Catches a forwarded run that greys
// the tree or shows boxes, and a reply that differs from the check without windows.
TEST_F(ForwardedCheckRun, TheReadersRunIsAutomaticAndItsReplyReadsAsACheckOfItsOwn) {
  const std::string one = AddSource("One", kOne);
  AddSource("Two", kTwo);
  platform.http.answers[kOne] = {true, 200, TestData::FeedWithItems({"a"}), {}};
  TreeControl tree("tvMessages");
  ASSERT_EQ(mSubscriptions::LoadSubscriptions(tree), true);
  std::vector<bool> enabled;
  platform.http.duringFetch = [&](const std::string&) { enabled.push_back(tree.Enabled()); };
  const Reply reply = ForwardedCheck::Run(tree);
  const std::string summary = "You have 1 New Messages \r\n in One account.\r\n\r\n";
  const Reply expected{
      {{Event::Kind::Box,
        "Process of checking for new Messages failed! Server returned empty Data stream.\r\n"
        "Two: connection refused",
        "Error!", 48},
       {Event::Kind::Summary, summary, {}, 0}},
      SomeFailed};
  EXPECT_EQ(reply, expected);
  EXPECT_EQ(enabled, std::vector<bool>(2, true));
  EXPECT_EQ(platform.messageBox.shown.size(), 0u);
  EXPECT_EQ(platform.progress.events, std::vector<std::string>{});
  EXPECT_EQ(platform.progress.alerts,
            std::vector<std::string>{summary + "Could not check Two: connection refused\r\n\r\n"});
  EXPECT_EQ(TestData::Messages(tree, one).size(), 1u);
  EXPECT_EQ(Services::Current().messageBox, &platform.messageBox);

  // Offline the command says what its own check would; the reader shows nothing.
  platform.network.connected = false;
  const Reply offline = ForwardedCheck::Run(tree);
  ASSERT_EQ(offline.events.size(), 1u);
  EXPECT_EQ(offline.events[0].title + " " + std::to_string(offline.status), "Working Offline? 2");
  EXPECT_EQ(platform.messageBox.shown.size(), 0u);
}

}  // namespace
