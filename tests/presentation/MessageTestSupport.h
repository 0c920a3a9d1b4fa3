#pragma once
// Set-up shared by the message rendering and command tests: fake services, a data folder, the
// shipped template in the program folder and the fixture message stored in one source.

#include "TestPaths.h"
#include "core/DocumentHost.h"
#include "core/mAppFunctions.h"
#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace MessageTests {

inline const std::string kSourceID = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
inline const std::string kGuid = "https://news.example/letters/2026-12-01";
inline const std::string kTitle = "The Tuesday Letter: spring issue is here";
inline const std::string kFixtureBody =
    "<div class=\"letter\">\n<h2>Spring issue</h2>\n"
    "<p>Good morning! This week: seed swaps, a balcony garden and the market&#39;s return.</p>\n"
    "<p><a href=\"https://news.example/spring\">Read the issue on the web</a></p>\n</div>";

inline std::string FixtureDescription() {
  return TestSupport::ReadAll(QP_FIXTURES_DIR "/messages/header_block_quoted_names.htm");
}
inline MessageRendering::MessageHeader FixtureHeader(const std::string& body = kFixtureBody) {
  return {"Ann Editor ",
          "ann@news.example",
          "The Tuesday Letter, spring issue",
          "Tue, 01 Dec 2026 09:18:46 +0000",
          "Letters Desk ",
          "letters@news.example",
          body};
}
inline std::string ShippedTemplate() {
  return TestSupport::ReadAll(QP_SOURCE_DIR "/src/resources/view.tpl");
}
// A text as loading it from the inbox gives it back: line feeds as CR LF.
inline std::string Loaded(const std::string& text) {
  std::string result;
  for (const char c : text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return result;
}

class FakeDocumentHost : public IDocumentHost {
 public:
  struct Opened {
    std::string itemId, caption, pagePath;
    bool operator==(const Opened&) const = default;
  };
  bool FocusDocument(const std::string& itemId) override {
    focused.push_back(itemId);
    return open.count(itemId) > 0;
  }
  void OpenDocument(const std::string& itemId, const std::string& caption,
                    const std::string& pagePath) override {
    opened.push_back({itemId, caption, pagePath});
    open.insert(itemId);
  }
  bool CloseDocument(const std::string& itemId) override {
    closed.push_back(itemId);
    return open.erase(itemId) > 0;
  }
  std::set<std::string> open;
  std::vector<std::string> focused, closed;
  std::vector<Opened> opened;
};

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    TestSupport::WriteAll(platform.environment.programFolder + "/view.tpl", ShippedTemplate());
    Store(kGuid, kTitle, FixtureDescription());
  }

  // Stores a message as the feed parser does, line feeds as character 5.
  void Store(const std::string& guid, const std::string& title, std::string description) {
    std::replace(description.begin(), description.end(), '\n', '\x05');
    mInbox::SourceID = kSourceID;
    mInbox::CurrentItem = {guid, title, description, "Tue, 01 Dec 2026", "09:18:46", "+0000", 0};
    mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Exists));
    ASSERT_TRUE(mInbox::AddInboxItem());
    mInbox::SourceID.clear();
    mInbox::CurrentItem = {};
  }

  // The stored message's read flag, or -1 when it is not stored.
  int ReadFlag(const std::string& guid) {
    mInbox::SourceID = kSourceID;
    mInbox::CurrentItem.guid = guid;
    if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) return -1;
    return mInbox::CurrentItem.read;
  }

  std::string PagePath() const { return mAppFunctions::DataPath + "/item.htm"; }

  TestSupport::FakePlatform platform;
  FakeDocumentHost host;
};

}  // namespace MessageTests
