#include "archive/SavedSearches.h"

#include "inbox/InboxEvents.h"
#include "inbox/SourceState.h"
#include "support/DataFolder.h"

#include <algorithm>

using namespace Archive;

namespace {

class SavedSearchesTest : public TestData::DataFolderTest {};

TEST_F(SavedSearchesTest, RoundTripAndAHandDamagedFileLosesNothingElse) {
  const std::vector<SavedSearch> searches = {
      {"Kitchen", "source:\"Kitchen Notes\" is:unread", Rule::None},
      {"Ads [old] = spam", "sale -\"not a sale\"", Rule::Delete},
      {"Caf\u00e9", "caf\u00e9*", Rule::MarkRead}};
  ASSERT_TRUE(SaveSavedSearches(searches));
  EXPECT_EQ(LoadSavedSearches(), searches);
  // Names are unique without letter case; a refused list leaves the file as it was.
  const std::string before = TestSupport::ReadAll(SavedSearchesPath());
  EXPECT_FALSE(SaveSavedSearches({{"Kitchen", "a"}, {"KITCHEN", "b"}}));
  EXPECT_FALSE(SaveSavedSearches({{" ", "a"}}));
  EXPECT_EQ(TestSupport::ReadAll(SavedSearchesPath()), before);
  EXPECT_FALSE(NameIsFree(searches, " kitchen"));
  EXPECT_TRUE(NameIsFree(searches, "Kitchen 2"));
  // Line breaks cannot add lines to the file.
  ASSERT_TRUE(SaveSavedSearches({{"Two\nlines", "a\r\nb", Rule::Delete}}));
  EXPECT_EQ(LoadSavedSearches(), (std::vector<SavedSearch>{{"Two lines", "a b", Rule::Delete}}));

  TestSupport::WriteAll(SavedSearchesPath(),
                        "garbage before any section\r\n"
                        "[Kept]\r\nquery=bread\r\nrule=DELETE\r\n"
                        "[No query]\r\nrule=delete\r\n"
                        "[Odd rule]\r\nquery=x\r\nrule=shred\r\nnot an entry\r\n"
                        "[kept]\r\nquery=a second of the same name\r\n"
                        "[Cut \xff]\r\nquery=\xfe q");
  EXPECT_EQ(LoadSavedSearches(), (std::vector<SavedSearch>{{"Kept", "bread", Rule::Delete},
                                                           {"Odd rule", "x", Rule::None},
                                                           {"Cut \xff", "\xfe q", Rule::None}}));
}

TEST_F(SavedSearchesTest, RulesDecideAboutArrivingMessagesInTheOrderOfTheSearches) {
  const std::string id = AddSource("Kitchen Notes", "http://h/1");
  ASSERT_TRUE(SaveSavedSearches({
      {"Bread", "bread", Rule::MarkRead},
      {"Unread rye", "rye is:unread", Rule::Delete},
      {"Spam", "\"buy now\"", Rule::Delete},
      {"Elsewhere", "source:Garden bread", Rule::Delete},
      {"Earlier", "before:2026-06-01 bread", Rule::Delete},
  }));
  SearchRules rules([&](const std::string& sourceId) {
    return sourceId == id ? std::string("Kitchen Notes") : std::string();
  });
  mInbox::AddArrivalRules(&rules);
  const auto item = [](const std::string& guid, const std::string& body) {
    return mInbox::InboxItem{guid,
                             "Letter " + guid,
                             TestData::Description("s", "<p>" + body + "</p>"),
                             "Sat, 05 Dec 2026",
                             "09:00:00",
                             "GMT",
                             0};
  };
  mInbox::SourceID = id;
  std::vector<std::string> deleted;
  const auto stored = mInbox::AddNewInboxItems(
      {item("a", "Fresh BREAD today"), item("b", "rye"), item("c", "bread and rye"),
       item("d", "Buy   now!"), item("e", "nothing"), item("f", "buy later, now"),
       item("g", "bread: buy now")},
      nullptr, &deleted);
  // Searches written anew (by the user, or a merge from another machine) rule what comes next.
  ASSERT_TRUE(SaveSavedSearches({{"Rye", "rye", Rule::MarkRead}}));
  EXPECT_EQ(mInbox::AddNewInboxItems({item("h", "bread"), item("i", "rye")}), 2u);
  mInbox::RemoveArrivalRules(&rules);
  EXPECT_EQ(StoredRead(id, "h") * 10 + StoredRead(id, "i"), 1);
  // "c" is marked read first, so the unread-rye rule passes it by; "g" is marked read, then
  // deleted: Delete wins.
  EXPECT_EQ(stored, 4u);
  std::sort(deleted.begin(), deleted.end());
  EXPECT_EQ(deleted, (std::vector<std::string>{"b", "d", "g"}));
  EXPECT_EQ(StoredRead(id, "a"), 1);
  EXPECT_EQ(StoredRead(id, "c"), 1);
  EXPECT_EQ(StoredRead(id, "e"), 0);
  EXPECT_EQ(StoredRead(id, "f"), 0);
  EXPECT_EQ(StoredRead(id, "b"), -1);
  // MatchArriving answers as the index would, a source: filter against the given title.
  const std::vector<mInbox::InboxItem> items = {item("x", "caf&eacute; cr\u00e8me"),
                                                item("y", "cafe")};
  EXPECT_EQ(MatchArriving(ParseQuery("CAFE -creme source:kitchen"), "Kitchen Notes", items),
            (std::vector<bool>{false, true}));
  EXPECT_EQ(MatchArriving(ParseQuery("cafe source:garden"), "Kitchen Notes", items),
            (std::vector<bool>{false, false}));
  EXPECT_EQ(MatchArriving(ParseQuery("^"), "Kitchen Notes", items),
            (std::vector<bool>{false, false}));
}

}  // namespace
