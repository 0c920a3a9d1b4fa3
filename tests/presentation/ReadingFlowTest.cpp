#include "presentation/ReadingFlow.h"

#include "core/Services.h"
#include "core/mGeneralFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/PanelActions.h"
#include "subscriptions/SourceTree.h"
#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace TestData;
using Node = TreeControl::Node;
using Strings = std::vector<std::string>;

// Sources added as "Beta" (b1 unread, b2 read, b3 unread), "Alpha" (a1 read, a2 unread), "Dry"
// (all read) and "Empty", shown sorted; a group node that is no source sits among them.
class ReadingFlowTest : public DataFolderTest {
 protected:
  void SetUp() override {
    InstallTemplate();
    beta = AddSource("Beta", "http://feeds.test/b",
                     {{"b1", "B one"},
                      {"b2", "B two", "Fri, 04 Dec 2026", true},
                      {"b3", "B three", "Thu, 03 Dec 2026"}});
    alpha =
        AddSource("Alpha", "http://feeds.test/a",
                  {{"a1", "A one", "Sat, 05 Dec 2026", true}, {"a2", "A two", "Fri, 04 Dec 2026"}});
    dry = AddSource("Dry", "http://feeds.test/d", {{"d1", "D one", "Sat, 05 Dec 2026", true}});
    AddSource("Empty", "http://feeds.test/e");
    tree.SetSorted(true);
    ASSERT_TRUE(mSubscriptions::LoadSubscriptions(tree));
    PanelActions::Attach(tree, host, nullptr);
    ASSERT_TRUE(tree.Add("Searches", "Saved Searches"));
    ASSERT_TRUE(tree.AddChild("Searches", "search:1", "Bread"));
    lookup = [this](const std::string& id) -> std::optional<std::size_t> {
      ++asked[id];
      const auto known = counts.find(id);
      return known == counts.end() ? std::nullopt : std::optional(known->second);
    };
  }

  // The guid the walk finds after the node, or "" for none.
  std::string NextAfter(const Node* from) {
    const Node* found = ReadingFlow::FindNextUnread(tree, from, lookup);
    return found ? found->Tag() : "";
  }
  Node* Message(const std::string& source, const std::string& guid) {
    Node* node = tree.Find(source);
    tree.FetchChildren(node);
    for (std::size_t row = 0; row < node->ChildCount(); ++row)
      if (node->Child(row)->Tag() == guid) return node->Child(row);
    return nullptr;
  }

  TestSupport::FakeDocumentHost host;
  TreeControl tree{"tvMessages"};
  std::string alpha, beta, dry;
  std::map<std::string, std::size_t> counts;
  std::map<std::string, int> asked;
  ReadingFlow::UnreadLookup lookup;
  ReadingFlow::Trail trail;
};

TEST_F(ReadingFlowTest, NextUnreadFollowsTheDisplayedOrderAcrossSourcesAndAroundTheEnd) {
  // Alpha before Beta as sorted; messages newest first; the last message leads to the top.
  const struct {
    const char* name;
    Node* from;
    std::string next;
  } rows[] = {
      {"from the top", nullptr, "a2"},
      {"from a source", tree.Find(beta), "b1"},
      {"within a source", Message(beta, "b1"), "b3"},
      {"into the next source", Message(alpha, "a2"), "b1"},
      {"from the last message, around", Message(beta, "b3"), "a2"},
      {"from a read source", tree.Find(dry), "a2"},
      {"from a saved search", tree.Find("search:1"), "a2"},
  };
  for (const auto& row : rows) EXPECT_EQ(NextAfter(row.from), row.next) << row.name;
}

// The inbox decides what is unread, whatever the nodes show.
TEST_F(ReadingFlowTest, TheOnlyUnreadMessageIsFoundFromItselfAndNothingWhenAllAreRead) {
  for (const char* guid : {"b1", "b3"}) ASSERT_TRUE(mInbox::MarkMessage(beta, guid, true));
  EXPECT_EQ(NextAfter(Message(alpha, "a2")), "a2");
  Message(alpha, "a2")->SetImage(MessageTreeImage::Read);
  EXPECT_EQ(NextAfter(Message(alpha, "a2")), "a2");
  ASSERT_TRUE(mInbox::MarkMessage(alpha, "a2", true));
  EXPECT_EQ(NextAfter(Message(alpha, "a2")), "");
}

// Catches reading every folded source's inbox on each key press.
TEST_F(ReadingFlowTest, FoldedSourcesAreReadOnlyWhenTheirCountAllowsAndGivenUpWhenRead) {
  counts = {{alpha, 0}, {dry, 0}};  // Alpha's count is wrong on purpose: it is believed
  EXPECT_EQ(NextAfter(nullptr), "b1");
  EXPECT_TRUE(tree.Find(alpha)->ChildrenPending());
  EXPECT_FALSE(tree.Find(beta)->ChildrenPending());
  counts.clear();
  // Dry's count is not known: read, nothing unread, given up again.
  EXPECT_EQ(NextAfter(tree.Find(dry)), "a2");
  EXPECT_TRUE(tree.Find(dry)->ChildrenPending());
  EXPECT_EQ(asked[dry], 1);
}

TEST_F(ReadingFlowTest, OpeningMarksReadUnfoldsSelectsAndBackReturnsAlongTheTrail) {
  ASSERT_TRUE(ReadingFlow::OpenNextUnread(tree, host, lookup, trail));
  ASSERT_TRUE(ReadingFlow::OpenNextUnread(tree, host, lookup, trail));
  EXPECT_EQ(tree.SelectedItem()->Tag(), "b1");
  EXPECT_TRUE(tree.Find(beta)->Expanded());
  EXPECT_EQ(StoredRead(alpha, "a2"), 1);
  EXPECT_EQ(StoredRead(beta, "b1"), 1);
  ASSERT_TRUE(ReadingFlow::OpenPrevious(tree, host, trail));
  EXPECT_EQ(tree.SelectedItem()->Tag(), "a2");
  EXPECT_FALSE(ReadingFlow::OpenPrevious(tree, host, trail));
  std::vector<std::string> opened;
  for (const auto& document : host.opened) opened.push_back(document.itemId);
  EXPECT_EQ(opened, (Strings{"a2", "b1"}));
  EXPECT_EQ(host.focused.back(), "a2");
}

// Catches Escape from a page that leaves the tree's selection elsewhere, or nowhere when the
// message went meanwhile.
TEST_F(ReadingFlowTest, BackFromAPageSelectsItsMessageOrItsSourceWhenItWent) {
  tree.SetSelectedItem(tree.Find(dry));
  EXPECT_TRUE(ReadingFlow::SelectMessage(tree, {beta, "b3"}));
  EXPECT_EQ(std::pair(tree.SelectedItem()->Tag(), tree.Find(beta)->Expanded()),
            std::pair(std::string("b3"), true));
  EXPECT_FALSE(ReadingFlow::SelectMessage(tree, {alpha, "gone"}));
  EXPECT_EQ(tree.SelectedItem(), tree.Find(alpha));
}

TEST_F(ReadingFlowTest, MarkingReadAsksWithTheCountAndMarksInboxAndNodes) {
  platform.messageBox.answers = {Services::vbNo, Services::vbYes};
  EXPECT_EQ(ReadingFlow::MarkSourceRead(tree, beta, 1234), 0u);
  EXPECT_EQ(platform.messageBox.shown.at(0).text, "Mark 1,234 messages of Beta as read?");
  Message(beta, "b1");
  EXPECT_EQ(ReadingFlow::MarkSourceRead(tree, beta, 2), 2u);
  EXPECT_EQ(Messages(tree, beta), (std::vector<Shown>{{"B one", "b1", 3, false},
                                                      {"B two", "b2", 3, false},
                                                      {"B three", "b3", 3, false}}));
  EXPECT_EQ(StoredRead(beta, "b3"), 1);
  // Nothing unread: nothing asked.
  EXPECT_EQ(ReadingFlow::MarkSourceRead(tree, dry, 0), 0u);
  platform.messageBox.answers = {Services::vbYes};
  EXPECT_EQ(ReadingFlow::MarkAllRead(tree, lookup), 1u);
  EXPECT_EQ(platform.messageBox.shown.back().text, "Mark 1 message of Alpha as read?");
  EXPECT_EQ(StoredRead(alpha, "a2"), 1);
  EXPECT_EQ(ReadingFlow::MarkAllRead(tree, lookup), 0u);
  EXPECT_EQ(platform.messageBox.shown.size(), 3u);
}

TEST_F(ReadingFlowTest, ExportWritesOneFilePerMessageAndNeverReplacesOne) {
  const std::string folder = platform.environment.appData + "/out";
  std::filesystem::create_directory(folder);
  std::ofstream(folder + "/2026-12-05 Why_ a_b_.html") << "mine";
  WriteInbox(Section("x1", "Why: a/b?", "D", "Sat, 05 Dec 2026") + Section("x2", "..", "D") +
                 Section("x3", "Why: a/b?", "D", "05 Dec 2026"),
             beta);
  EXPECT_EQ(ReadingFlow::ExportMessages(beta, folder), 3u);
  Strings names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Strings{"2026-12-05 Why_ a_b_ (2).html", "2026-12-05 Why_ a_b_ (3).html",
                            "2026-12-05 Why_ a_b_.html", "Message.html"}));
  std::ifstream kept(folder + "/2026-12-05 Why_ a_b_.html");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "mine");
}

}  // namespace
