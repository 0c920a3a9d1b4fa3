#include "support/DataFolder.h"

#include "TestPaths.h"
#include "core/mAppFunctions.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "subscriptions/mSubscriptions.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace TestData {

std::string Section(const std::string& guid, const std::string& title,
                    const std::string& description, const std::string& date,
                    const std::string& time, const std::string& offset, const std::string& read) {
  return "[" + guid + "]\r\ntitle=" + title + "\r\ndescription=" + description +
         "\r\ndate=" + date + "\r\ntime=" + time + "\r\noffset=" + offset + "\r\nread=" + read +
         "\r\n";
}

std::string Description(const std::string& subject, const std::string& body) {
  return "<!-- header start: <p>From: &quot;Ann Editor&quot; &lt;ann@letters.test&gt;<br />"
         "Subject: " +
         subject +
         "<br />Date: Sat, 05 Dec 2026<br />Reply-To: ann@letters.test</p> header end -->}" + body;
}

std::string FeedWithItems(const std::vector<std::string>& guids) {
  std::string text = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>c</title>";
  for (const auto& g : guids) {
    text += "<item><title>T " + g + "</title><description>D " + g +
            "</description><pubDate>Sat, 05 Dec 2026 09:18:46 GMT</pubDate><guid>" + g +
            "</guid></item>";
  }
  return text + "</channel></rss>";
}

std::vector<Shown> Messages(TreeControl& tree, const std::string& sourceKey) {
  std::vector<Shown> shown;
  TreeControl::Node* source = tree.Find(sourceKey);
  if (source && source->ChildrenPending()) {
    if (!tree.HasChildLoader()) mInbox::ReadSourcesOnDemand(tree);
    tree.FetchChildren(source);
  }
  for (std::size_t row = 0; source && row < source->ChildCount(); ++row) {
    const TreeControl::Node* child = source->Child(row);
    shown.push_back({child->Text(), child->Tag(), child->Image(), child->Bold()});
  }
  return shown;
}

std::vector<std::string> TopLevelTexts(const TreeControl& tree) {
  std::vector<std::string> texts;
  for (const TreeControl::Node* node : tree.TopLevelNodes()) texts.push_back(node->Text());
  return texts;
}

DataFolderTest::DataFolderTest() { mAppFunctions::InitializeDataFolder(); }

std::string DataFolderTest::AddSource(const std::string& title, const std::string& link,
                                      const std::vector<StoredMessage>& messages) {
  EXPECT_TRUE(mSubscriptions::AddSource(title, link));
  std::vector<mSubscriptions::MessageSource> sources;
  EXPECT_TRUE(mSubscriptions::ReadSources(sources));
  std::string id;
  for (const auto& source : sources)
    if (source.Link == link) id = source.ID;
  mInbox::SourceID = id;
  std::vector<mInbox::InboxItem> items;
  for (const StoredMessage& message : messages) {
    items.push_back({message.guid, message.title,
                     Description(message.title, "<p>Body of " + message.title + "</p>"),
                     message.date, "09:00:00", "GMT", 0});
  }
  if (!items.empty()) {
    EXPECT_EQ(mInbox::AddNewInboxItems(items), items.size());
  }
  for (const StoredMessage& message : messages) {
    if (!message.read) continue;
    mInbox::CurrentItem.guid = message.guid;
    EXPECT_TRUE(mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead)));
  }
  return id;
}

std::string DataFolderTest::InboxBytes(const std::string& sourceId) const {
  const std::string path = mAppFunctions::DataPath + "/" + sourceId + "/inbox.dat";
  return fs::exists(path) ? TestSupport::ReadAll(path) : std::string("<missing>");
}

void DataFolderTest::WriteInbox(const std::string& bytes, const std::string& sourceId) {
  fs::create_directories(mAppFunctions::DataPath + "/" + sourceId);
  TestSupport::WriteAll(mAppFunctions::DataPath + "/" + sourceId + "/inbox.dat", bytes);
}

int DataFolderTest::StoredRead(const std::string& sourceId, const std::string& guid) {
  mInbox::SourceID = sourceId;
  mInbox::CurrentItem = {};
  mInbox::CurrentItem.guid = guid;
  if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) return -1;
  return mInbox::CurrentItem.read;
}

std::vector<std::string> DataFolderTest::StoredTitles() {
  std::vector<mSubscriptions::MessageSource> sources;
  mSubscriptions::ReadSources(sources);
  std::vector<std::string> titles;
  for (const auto& source : sources) titles.push_back(source.Title);
  return titles;
}

void DataFolderTest::InstallTemplate() {
  fs::copy_file(QP_SOURCE_DIR "/src/resources/view.tpl",
                platform.environment.programFolder + "/view.tpl",
                fs::copy_options::overwrite_existing);
}

}  // namespace TestData
