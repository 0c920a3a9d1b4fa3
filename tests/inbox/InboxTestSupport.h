#pragma once
// Shared set-up of the inbox tests: fake services, a data folder and one current source.

#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/mInbox.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace InboxTests {

inline const std::string kSourceID = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
inline const std::string kOtherSourceID = "11111111-2222-4333-8444-555555555555";

// A description as stored: brackets as parentheses, character 5 for a line feed.
inline const std::string kEncodedBody = std::string("a(b)c") + '\x05' + "d";

// One message section as the store writes it.
inline std::string Section(const std::string& guid, const std::string& title,
                           const std::string& description = "", const std::string& date = "",
                           const std::string& time = "", const std::string& offset = "",
                           const std::string& read = "0") {
  return "[" + guid + "]\r\ntitle=" + title + "\r\ndescription=" + description +
         "\r\ndate=" + date + "\r\ntime=" + time + "\r\noffset=" + offset + "\r\nread=" + read +
         "\r\n";
}

// A message node as the tree shows it.
struct Shown {
  std::string text;
  std::string tag;
  int image = 0;
  bool bold = false;
  bool operator==(const Shown&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Shown& s) {
    return out << "{" << s.text << ", " << s.tag << ", " << s.image << (s.bold ? ", bold}" : "}");
  }
};

inline std::vector<Shown> Messages(const TreeControl& tree, const std::string& sourceKey) {
  std::vector<Shown> shown;
  const TreeControl::Node* source = tree.Find(sourceKey);
  if (!source) return shown;
  for (std::size_t row = 0; row < source->ChildCount(); ++row) {
    const TreeControl::Node* child = source->Child(row);
    shown.push_back({child->Text(), child->Tag(), child->Image(), child->Bold()});
  }
  return shown;
}

class InboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mAppFunctions::InitializeDataFolder();
    mInbox::SourceID = kSourceID;
  }

  std::string InboxBytes() const {
    return std::filesystem::exists(mInbox::InboxPath()) ? TestSupport::ReadAll(mInbox::InboxPath())
                                                        : std::string("<missing>");
  }
  void WriteInbox(const std::string& bytes) {
    std::filesystem::create_directories(mInbox::InboxFolder());
    TestSupport::WriteAll(mInbox::InboxPath(), bytes);
  }
  // Sets the current item's guid and runs the action.
  bool Act(mInbox::InboxAction action, const std::string& guid) {
    mInbox::CurrentItem.guid = guid;
    return mInbox::ManageInboxItem(static_cast<int>(action));
  }
  // A message tree holding the current source's node.
  TreeControl& SourceTree() {
    if (!m_tree.Find(mInbox::SourceID)) {
      m_tree.Add(mInbox::SourceID, "Letters", MessageTreeImage::Source)->SetTag("http://h/feed");
    }
    return m_tree;
  }

  TestSupport::FakePlatform platform;
  TreeControl m_tree{"tvMessages"};
};

}  // namespace InboxTests
