#pragma once
// Sources with stored messages for the panel's and the main window's tests.

#include "TestPaths.h"
#include "core/Services.h"
#include "inbox/mInbox.h"
#include "subscriptions/mSubscriptions.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace PanelTests {

struct StoredMessage {
  std::string guid;
  std::string title;
  std::string date = "Sat, 05 Dec 2026";
  bool read = false;
};

// A description with the header block the rendering expects.
inline std::string Description(const std::string& subject, const std::string& body) {
  return "<!-- header start: <p>From: &quot;Ann Editor&quot; &lt;ann@letters.test&gt;<br />"
         "Subject: " +
         subject +
         "<br />Date: Sat, 05 Dec 2026<br />Reply-To: ann@letters.test</p> header end -->}" + body;
}

// Subscribes a source and stores its messages; returns the source's ID.
inline std::string AddSource(const std::string& title, const std::string& link,
                             const std::vector<StoredMessage>& messages = {}) {
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

// The read flag stored for a message; -1 when it is not stored.
inline int StoredRead(const std::string& sourceId, const std::string& guid) {
  mInbox::SourceID = sourceId;
  mInbox::CurrentItem = {};
  mInbox::CurrentItem.guid = guid;
  if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) return -1;
  return mInbox::CurrentItem.read;
}

// The titles in the subscription file, in file order.
inline std::vector<std::string> StoredTitles() {
  std::vector<mSubscriptions::MessageSource> sources;
  mSubscriptions::ReadSources(sources);
  std::vector<std::string> titles;
  for (const auto& source : sources) titles.push_back(source.Title);
  return titles;
}

// The message template beside the (fake) program.
inline void InstallTemplate(const TestSupport::FakePlatform& platform) {
  std::filesystem::copy_file(QP_SOURCE_DIR "/src/resources/view.tpl",
                             platform.environment.programFolder + "/view.tpl",
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace PanelTests
