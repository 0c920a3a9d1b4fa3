#pragma once
// The one set-up of the tests that work on a data folder: fake services, a fresh data folder, and
// ways to put sources, messages and feeds into it and read them back as the program stores them.

#include "core/TreeControl.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace TestData {

inline const std::string kSourceID = "0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9";
inline const std::string kOtherSourceID = "11111111-2222-4333-8444-555555555555";

// One message section as the inbox store writes it.
std::string Section(const std::string& guid, const std::string& title,
                    const std::string& description = "", const std::string& date = "",
                    const std::string& time = "", const std::string& offset = "",
                    const std::string& read = "0");

// A description with the header block the rendering reads (sender Ann Editor).
std::string Description(const std::string& subject, const std::string& body);

// A small RSS 2.0 feed: one item per guid, title "T <guid>", description "D <guid>", one date.
std::string FeedWithItems(const std::vector<std::string>& guids);

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
// The source's message nodes; pending ones are read first, as unfolding the source reads them.
std::vector<Shown> Messages(TreeControl& tree, const std::string& sourceKey);
std::vector<std::string> TopLevelTexts(const TreeControl& tree);

struct StoredMessage {
  std::string guid;
  std::string title;
  std::string date = "Sat, 05 Dec 2026";
  bool read = false;
};

// Fake services and an initialised data folder for each test.
class DataFolderTest : public ::testing::Test {
 protected:
  DataFolderTest();

  // Subscribes a source and stores its messages; returns the source's ID.
  std::string AddSource(const std::string& title, const std::string& link,
                        const std::vector<StoredMessage>& messages = {});
  // A source's inbox.dat as it is on disk ("<missing>" when there is none), or written as given.
  std::string InboxBytes(const std::string& sourceId = kSourceID) const;
  void WriteInbox(const std::string& bytes, const std::string& sourceId = kSourceID);
  // The read flag stored for a message; -1 when it is not stored.
  int StoredRead(const std::string& sourceId, const std::string& guid);
  // The titles in the subscription file, in file order.
  std::vector<std::string> StoredTitles();
  // The shipped message template beside the (fake) program.
  void InstallTemplate();

  TestSupport::FakePlatform platform;
};

}  // namespace TestData
