#include "subscriptions/SourceTree.h"

#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/mInbox.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

using mSubscriptions::LoadSubscriptions;
using TestSupport::FakePlatform;
using TestSupport::ShownBox;
namespace fs = std::filesystem;

namespace {

using Node = TreeControl::Node;

const std::string kZeta = "AAAAAAAA-0000-4000-8000-000000000001";
const std::string kAlpha = "BBBBBBBB-0000-4000-8000-000000000002";

std::vector<std::string> Texts(const std::vector<Node*>& nodes) {
  std::vector<std::string> texts;
  for (const Node* node : nodes) texts.push_back(node->Text());
  return texts;
}

std::vector<std::string> ChildTexts(const Node* parent) {
  std::vector<std::string> texts;
  for (std::size_t row = 0; row < parent->ChildCount(); ++row) {
    texts.push_back(parent->Child(row)->Text());
  }
  return texts;
}

// Everything a node shows, in list order, for comparing whole trees.
std::vector<std::string> Dump(const TreeControl& tree) {
  std::vector<std::string> lines;
  for (const Node* node : tree.NodeList()) {
    lines.push_back((node->Parent() ? node->Parent()->Key() + " > " : std::string()) + node->Key() +
                    "|" + node->Text() + "|" + node->Tag() + "|" + std::to_string(node->Image()) +
                    "/" + std::to_string(node->SelectedImage()) + (node->Bold() ? "|bold" : "") +
                    (node->Expanded() ? "|expanded" : ""));
  }
  for (const Node* node : tree.TopLevelNodes()) lines.push_back("shown " + node->Text());
  return lines;
}

class SourceTree : public ::testing::Test {
 protected:
  void SetUp() override { mAppFunctions::InitializeDataFolder(); }

  void WriteSources(const std::string& children) {
    TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(),
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sources>\r\n" + children +
                              "</sources>\r\n");
  }
  static std::string Source(const std::string& id, const std::string& title,
                            const std::string& link) {
    return "<source id=\"" + id + "\" title=\"" + title + "\">" + link + "</source>\r\n";
  }
  void WriteInbox(const std::string& id, const std::string& bytes) {
    const std::string folder = mAppFunctions::DataPath + "/" + id;
    fs::create_directories(folder);
    TestSupport::WriteAll(folder + "/inbox.dat", bytes);
  }

  FakePlatform platform;
  TreeControl messages{"tvMessages"};
  TreeControl list{"tvSources"};
};

}  // namespace

TEST_F(SourceTree, FreshDataFolderGivesAnEmptyTreeOrOnlyTheRoot) {
  EXPECT_TRUE(LoadSubscriptions(messages));
  EXPECT_EQ(messages.Count(), 0u);
  EXPECT_TRUE(LoadSubscriptions(list));
  EXPECT_EQ(Dump(list), (std::vector<std::string>{"main|Sources||1/1|expanded", "shown Sources"}));
  EXPECT_EQ(platform.messageBox.shown, std::vector<ShownBox>{});
}

TEST_F(SourceTree, SourcesShowInTitleOrderWhileTheListKeepsFileOrder) {
  WriteSources(Source(kZeta, "Zeta", "http://h/z") + Source(kAlpha, "Alpha", "http://h/a"));
  WriteInbox(kZeta,
             "[z1]\r\ntitle=Older\r\ndate=Thu, 03 Dec 2026\r\nread=1\r\n"
             "[z2]\r\ntitle=Newer\r\ndate=Fri, 04 Dec 2026\r\nread=0\r\n");

  ASSERT_TRUE(LoadSubscriptions(messages));
  EXPECT_EQ(Dump(messages), (std::vector<std::string>{
                                kZeta + "|Zeta|http://h/z|1/1",
                                kZeta + " > |Newer|z2|2/2|bold",
                                kZeta + " > |Older|z1|3/3",
                                kAlpha + "|Alpha|http://h/a|1/1",
                                "shown Alpha",
                                "shown Zeta",
                            }));
  EXPECT_TRUE(messages.Sorted());
  // Alpha had no inbox folder yet.
  EXPECT_TRUE(fs::is_directory(mAppFunctions::DataPath + "/" + kAlpha));
  // Loading again gives the same tree: it is emptied first.
  const std::vector<std::string> first = Dump(messages);
  ASSERT_TRUE(LoadSubscriptions(messages));
  EXPECT_EQ(Dump(messages), first);

  ASSERT_TRUE(LoadSubscriptions(list));
  ASSERT_TRUE(LoadSubscriptions(list));
  EXPECT_EQ(Dump(list), (std::vector<std::string>{
                            "main|Sources||1/1|expanded",
                            "main > " + kAlpha + "|Alpha|http://h/a|4/4",
                            "main > " + kZeta + "|Zeta|http://h/z|4/4",
                            "shown Sources",
                        }));
  EXPECT_TRUE(list.Sorted());
}

TEST_F(SourceTree, UnreadableSubscriptionFileLeavesTheTreeEmpty) {
  messages.Add("old", "Old", 1);
  list.Add("main", "Sources", 1);
  TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), "<sources>");
  EXPECT_FALSE(LoadSubscriptions(messages));
  EXPECT_FALSE(LoadSubscriptions(list));
  EXPECT_EQ(messages.Count(), 0u);
  EXPECT_EQ(list.Count(), 0u);
  ASSERT_EQ(platform.messageBox.shown.size(), 2u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Failed to load Subscription List.");
}

TEST_F(SourceTree, SourcesWithoutOrWithRepeatedIdsAreLeftOut) {
  WriteSources(Source("", "No id", "http://h/0") + Source(kZeta, "Zeta", "http://h/z") +
               Source(kZeta, "Zeta twin", "http://h/z2") + Source("main", "Main", "http://h/m") +
               Source("../x", "Hand edited", "http://h/x"));
  ASSERT_TRUE(LoadSubscriptions(messages));
  EXPECT_EQ(Texts(messages.NodeList()), (std::vector<std::string>{"Zeta", "Main", "Hand edited"}));
  // Only the identifier-shaped source got a folder.
  std::set<std::string> folders;
  for (const auto& entry : fs::directory_iterator(mAppFunctions::DataPath)) {
    if (entry.is_directory()) folders.insert(entry.path().filename().string());
  }
  EXPECT_EQ(folders, std::set<std::string>{kZeta});
  EXPECT_FALSE(fs::exists(fs::path(mAppFunctions::DataPath).parent_path() / "x"));

  ASSERT_TRUE(LoadSubscriptions(list));
  EXPECT_EQ(ChildTexts(list.Find("main")), (std::vector<std::string>{"Hand edited", "Zeta"}));
}
