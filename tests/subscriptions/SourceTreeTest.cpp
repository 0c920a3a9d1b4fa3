#include "subscriptions/SourceTree.h"

#include "core/mAppFunctions.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <filesystem>

using mSubscriptions::LoadSubscriptions;
namespace fs = std::filesystem;

namespace {

const std::string kZeta = "AAAAAAAA-0000-4000-8000-000000000001";
const std::string kAlpha = "BBBBBBBB-0000-4000-8000-000000000002";

// Every node as "parent > key|text|tag|image/selected image", in list order, then what shows.
std::vector<std::string> Dump(const TreeControl& tree) {
  std::vector<std::string> lines;
  for (const TreeControl::Node* node : tree.NodeList()) {
    lines.push_back((node->Parent() ? node->Parent()->Key() + " > " : std::string()) + node->Key() +
                    "|" + node->Text() + "|" + node->Tag() + "|" + std::to_string(node->Image()) +
                    "/" + std::to_string(node->SelectedImage()) + (node->Bold() ? "|bold" : "") +
                    (node->Expanded() ? "|expanded" : ""));
  }
  for (const std::string& text : TestData::TopLevelTexts(tree)) lines.push_back("shown " + text);
  return lines;
}

class SourceTree : public TestData::DataFolderTest {
 protected:
  void WriteSources(const std::vector<std::vector<std::string>>& sources) {
    std::string text = "<?xml version=\"1.0\"?>\r\n<sources>\r\n";
    for (const auto& s : sources)
      text += "<source id=\"" + s[0] + "\" title=\"" + s[1] + "\">" + s[2] + "</source>\r\n";
    TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), text + "</sources>\r\n");
  }

  TreeControl messages{"tvMessages"};
  TreeControl list{"tvSources"};
};

TEST_F(SourceTree, SourcesShowInTitleOrderWhileTheListKeepsFileOrder) {
  EXPECT_EQ(LoadSubscriptions(list), true);
  EXPECT_EQ(Dump(list), (std::vector<std::string>{"main|Sources||1/1|expanded", "shown Sources"}));
  WriteSources({{kZeta, "Zeta", "http://h/z"}, {kAlpha, "Alpha", "http://h/a"}});
  WriteInbox(
      "[z1]\r\ntitle=Older\r\ndate=Thu, 03 Dec 2026\r\nread=1\r\n"
      "[z2]\r\ntitle=Newer\r\ndate=Fri, 04 Dec 2026\r\nread=0\r\n",
      kZeta);
  // Loading twice gives the same trees: they are emptied first.
  for (int i = 0; i < 2; ++i)
    ASSERT_EQ(LoadSubscriptions(messages) && LoadSubscriptions(list), true);
  EXPECT_EQ(Dump(messages), (std::vector<std::string>{
                                kZeta + "|Zeta|http://h/z|1/1", kZeta + " > |Newer|z2|2/2|bold",
                                kZeta + " > |Older|z1|3/3", kAlpha + "|Alpha|http://h/a|1/1",
                                "shown Alpha", "shown Zeta"}));
  EXPECT_EQ(Dump(list),
            (std::vector<std::string>{
                "main|Sources||1/1|expanded", "main > " + kAlpha + "|Alpha|http://h/a|4/4",
                "main > " + kZeta + "|Zeta|http://h/z|4/4", "shown Sources"}));
  // Alpha had no inbox folder yet.
  EXPECT_EQ(fs::is_directory(mAppFunctions::DataPath + "/" + kAlpha), true);

  TestSupport::WriteAll(mSubscriptions::SubscriptionFilePath(), "<sources>");
  EXPECT_EQ(LoadSubscriptions(messages), false);
  EXPECT_EQ(Dump(messages), std::vector<std::string>{});
  EXPECT_EQ(platform.messageBox.shown.at(0).title, "Failed to load Subscription List.");
}

// Catches a hand-edited identifier making a folder outside the data folder.
TEST_F(SourceTree, SourcesWithoutOrWithRepeatedIdsAreLeftOut) {
  WriteSources({{"", "No id", "http://h/0"},
                {kZeta, "Zeta", "http://h/z"},
                {kZeta, "Zeta twin", "http://h/z2"},
                {"main", "Main", "http://h/m"},
                {"../x", "Hand edited", "http://h/x"}});
  ASSERT_EQ(LoadSubscriptions(messages) && LoadSubscriptions(list), true);
  EXPECT_EQ(TestData::TopLevelTexts(messages),
            (std::vector<std::string>{"Hand edited", "Main", "Zeta"}));
  EXPECT_EQ(list.Find("main")->ChildCount(), 2u);  // the root keeps its key
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(mAppFunctions::DataPath))
    if (entry.is_directory()) folders.push_back(entry.path().filename().string());
  EXPECT_EQ(folders, std::vector<std::string>{kZeta});
  EXPECT_EQ(fs::exists(fs::path(mAppFunctions::DataPath).parent_path() / "x"), false);
}

}  // namespace
