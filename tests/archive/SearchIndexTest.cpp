// The search index against the inbox files: what is indexed of a message, a table of queries
// answered exactly as a plain scan of the files answers them, staleness, and the store's changes.

#include "archive/SearchIndex.h"

#include "archive/InboxText.h"
#include "core/mAppFunctions.h"
#include "entry/SearchCommand.h"
#include "inbox/InboxEvents.h"
#include "inbox/InboxTree.h"
#include "inbox/MessageHeader.h"
#include "inbox/MessageOrder.h"
#include "subscriptions/mSubscriptions.h"
#include "support/DataFolder.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

namespace fs = std::filesystem;
using namespace Archive;
using namespace std::chrono_literals;

namespace {

TEST(IndexedText, IsTheTextAReaderSeesAfterFromAndSubject) {
  const std::pair<std::string, std::string> rows[] = {
      {TestData::Description("Q&amp;A <b>spring</b>",
                             "<h2>Caf&eacute;</h2><p>one&nbsp;two\5"
                             "<script>no</script>three</p>"),
       "Ann Editor\nann@letters.test\nQ&A spring\nCaf\u00e9\n\none two three"},
      // Without the block it is all body; the marks of a snippet cannot come from the text.
      {"plain <i>text</i>\x02 & more\x03", "plain text  & more "},
      {"", ""},
  };
  for (const auto& [description, text] : rows) {
    mInbox::InboxItem item;
    item.description = description;
    EXPECT_EQ(InboxText::IndexedText(item), text) << description;
  }
}

// A small archive of known words: accents, letter case, entities, tags, the header block, dates
// with and without a time, undated messages and read flags, in sources whose titles the source:
// filter matches.
class SearchIndexTest : public TestData::DataFolderTest {
 protected:
  struct Message {
    std::string source, guid, title, description, date, time, zone;
    bool read = false;
  };

  void MakeArchive() {
    const char* titles[] = {"Kitchen Notes", "Garden Letter", "Caf\u00e9 Cr\u00e8me Weekly",
                            "River News", "Night Sky"};
    const char* words[] = {"bread",       "breadth",       "garden",     "zebra",  "Caf&eacute;",
                           "CAF\u00c9",   "cr\u00e8me",    "na\u00efve", "river",  "market",
                           "<b>bold</b>", "rye&amp;wheat", "winter",     "letter", "e-mail",
                           "near",        "start"};
    std::mt19937 random(7);
    const auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    for (std::size_t s = 0; s < std::size(titles); ++s) {
      const std::string id = AddSource(titles[s], "http://h/" + std::to_string(s));
      std::string inbox;
      for (int m = 0; m < 30; ++m) {
        Message message;
        message.source = id;
        message.guid = "g" + std::to_string(s) + "-" + std::to_string(m);
        std::string body = "<p>";
        for (int w = 0; w < 8; ++w) body += std::string(words[pick(std::size(words))]) + " ";
        // Words only in a link's address: not on the page, so not found.
        if (m % 3 == 1) body += "<a href=\"http://x.test/zephyr?q=quokka\">the link</a> ";
        message.title = words[pick(8)] + std::string(" ") + words[pick(std::size(words))];
        for (const char* tag : {"<b>", "</b>", "&eacute;", "&amp;"}) {
          for (std::size_t at; (at = message.title.find(tag)) != std::string::npos;)
            message.title.erase(at, std::string(tag).size());
        }
        message.description =
            m % 4 == 0 ? body + "</p>" : TestData::Description(words[pick(8)], body + "</p>");
        const int day = 1 + int(pick(28));
        if (m % 9 != 0) message.date = "Sun, " + std::to_string(day) + " Feb 2026";
        if (m % 5 != 0)
          message.time = "0" + std::to_string(pick(10)) + ":1" + std::to_string(m % 10) + ":00";
        message.zone = m % 3 == 0 ? "+0100" : "GMT";
        message.read = pick(3) == 0;
        inbox += TestData::Section(message.guid, message.title, message.description, message.date,
                                   message.time, message.zone, message.read ? "1" : "0");
        m_messages.push_back(message);
        m_titles[id] = titles[s];
      }
      WriteInbox(inbox, id);
    }
  }

  std::unique_ptr<SearchIndex> OpenIndex(bool rebuild = true) {
    EXPECT_TRUE(mAppFunctions::PrepareCacheFolder());
    std::string error;
    std::unique_ptr<SearchIndex> index = SearchIndex::Open(SearchIndex::DefaultFile(), error);
    EXPECT_TRUE(index) << error;
    index->SetSources(*SearchCommand::Sources(), rebuild);
    EXPECT_EQ(index->WaitUntilCurrent(60s), rebuild || index->Indexing().pending == 0);
    return index;
  }

  // Every page, small ones; also checks that each page continues in date order.
  static std::vector<Hit> All(SearchIndex& index, const std::string& text) {
    std::vector<Hit> hits;
    std::string from;
    do {
      Page page = index.Search(ParseQuery(text), from, 7);
      hits.insert(hits.end(), page.hits.begin(), page.hits.end());
      from = page.next;
    } while (!from.empty());
    return hits;
  }

  static std::set<std::string> Keys(const std::vector<Hit>& hits) {
    std::set<std::string> keys;
    for (const Hit& hit : hits) keys.insert(hit.sourceId + " " + hit.guid);
    return keys;
  }

  std::vector<Message> m_messages;
  std::map<std::string, std::string> m_titles;
};

// The plain scan: words as runs of letters and digits, a few accents folded by hand.
std::vector<std::string> Words(std::string text) {
  const std::pair<const char*, const char*> folds[] = {
      {"\u00e9", "e"}, {"\u00c9", "e"}, {"\u00e8", "e"}, {"\u00ef", "i"}};
  for (const auto& [from, to] : folds)
    for (std::size_t at; (at = text.find(from)) != std::string::npos;)
      text.replace(at, std::string(from).size(), to);
  std::vector<std::string> words(1);
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      words.back() += char(std::tolower(static_cast<unsigned char>(c)));
    } else if (!words.back().empty()) {
      words.emplace_back();
    }
  }
  if (words.back().empty()) words.pop_back();
  return words;
}

std::string PlainText(const std::string& description) {
  const mInbox::MessageHeader header = mInbox::ParseMessageHeader(description);
  std::string body, text = header.FromName + " " + header.FromEmail + " " + header.Subject + " ";
  for (bool tag = false; const char c : header.Body) {
    tag = c == '<' ? true : c == '>' ? false : tag;
    body += tag || c == '>' ? ' ' : c;
  }
  for (const auto& [entity, character] : std::map<std::string, std::string>{
           {"&eacute;", "\u00e9"}, {"&amp;", "&"}, {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}})
    for (std::size_t at; (at = text.find(entity)) != std::string::npos;)
      text.replace(at, entity.size(), character);
  for (const auto& [entity, character] :
       std::map<std::string, std::string>{{"&eacute;", "\u00e9"}, {"&amp;", "&"}})
    for (std::size_t at; (at = body.find(entity)) != std::string::npos;)
      body.replace(at, entity.size(), character);
  return text + body;
}

bool Holds(const std::vector<std::string>& words, const Term& term) {
  const std::vector<std::string> want = Words(term.text);
  if (want.empty()) return true;
  for (std::size_t i = 0; i + want.size() <= words.size(); ++i) {
    bool match = true;
    for (std::size_t j = 0; j < want.size() && match; ++j)
      match = term.prefix && j + 1 == want.size() ? words[i + j].starts_with(want[j])
                                                  : words[i + j] == want[j];
    if (match) return true;
  }
  return false;
}

TEST_F(SearchIndexTest, EveryQueryFindsWhatAPlainScanOfTheInboxFilesFinds) {
  MakeArchive();
  const std::unique_ptr<SearchIndex> index = OpenIndex();
  const char* queries[] = {"zebra",
                           "ZEBRA",
                           "cafe",
                           "caf\u00e9 cr\u00e8me",
                           "CREME",
                           "naive",
                           "brea*",
                           "breadth",
                           "bread -garden",
                           "\"bread garden\"",
                           "\"garden bre\"*",
                           "-zebra",
                           "-zebra -bread",
                           "source:kitchen",
                           "source:kitch",
                           "source:\"garden letter\" bread",
                           "source:cafe",
                           "source:CAF\u00c9",
                           "source:kitchen source:river zebra",
                           "source:nowhere",
                           "is:unread",
                           "is:read garden",
                           "after:2026-02-10",
                           "before:2026-02-10 bread",
                           "after:2026-02-05 before:2026-02-06",
                           "ann",
                           "editor",
                           "letters",
                           "reply",
                           "wheat",
                           "rye",
                           "bold",
                           "mail",
                           "\"e mail\"",
                           "zephyr",
                           "quokka",
                           "link",
                           "NEAR(zebra",
                           "zebra^",
                           "^",
                           ":",
                           "\"unbalanced",
                           "-",
                           "near start",
                           "is:unread -garden"};
  for (const char* text : queries) {
    const Query query = ParseQuery(text);
    std::set<std::string> expected;
    for (const Message& m : m_messages) {
      const std::vector<std::string> title = Words(m.title), body = Words(PlainText(m.description));
      bool pass = !query.Empty() && (!query.read || *query.read == m.read);
      const std::optional<std::int32_t> day = mInbox::DayNumber(m.date);
      if (query.after || query.before)
        pass = pass && day && (!query.after || *day + 10957 >= *query.after) &&
               (!query.before || *day + 10957 < *query.before);
      bool any = query.sources.empty();
      const auto joined = [](const std::string& text) {
        std::string out;
        for (const std::string& word : Words(text)) out += " " + word;
        return out;
      };
      for (const std::string& value : query.sources)
        any = any || joined(m_titles[m.source]).find(joined(value)) != std::string::npos;
      pass = pass && any;
      bool searched = !query.sources.empty() || query.read || query.after || query.before;
      for (const Term& term : query.terms) {
        if (Words(term.text).empty()) continue;
        searched = true;
        pass = pass && (Holds(title, term) || Holds(body, term)) != term.excluded;
      }
      if (pass && searched) expected.insert(m.source + " " + m.guid);
    }
    const std::vector<Hit> hits = All(*index, text);
    EXPECT_EQ(Keys(hits), expected) << text;
    EXPECT_EQ(hits.size(), expected.size()) << text;
    // Newest first, as the tree orders them: by day, then time in UTC; undated last.
    const auto order = [](const Hit& h) {
      const mInbox::MessageTime when = mInbox::TimeOf(h.date, h.time, h.offset);
      return std::pair(when.day.value_or(INT32_MIN),
                       when.day ? when.seconds.value_or(INT64_MIN) : INT64_MIN);
    };
    for (std::size_t i = 1; i < hits.size(); ++i)
      EXPECT_GE(order(hits[i - 1]), order(hits[i])) << text << " at " << i;
    // A list's End: a range from either end is that slice of the whole list, in its order.
    EXPECT_EQ(index->Count(query), hits.size()) << text;
    const auto guids = [](auto first, auto last) {
      std::vector<std::string> out;
      for (; first != last; ++first) out.push_back(first->guid);
      return out;
    };
    const std::size_t skip = std::min<std::size_t>(hits.size(), 2);
    const std::vector<Hit> fromOldest = index->SearchRange(query, skip, 5, true);
    const std::vector<Hit> fromNewest = index->SearchRange(query, skip, 5, false);
    const std::size_t n = std::min<std::size_t>(5, hits.size() - skip);
    EXPECT_EQ(guids(fromOldest.begin(), fromOldest.end()),
              guids(hits.end() - std::ptrdiff_t(skip + n), hits.end() - std::ptrdiff_t(skip)))
        << text;
    EXPECT_EQ(guids(fromNewest.begin(), fromNewest.end()),
              guids(hits.begin() + std::ptrdiff_t(skip), hits.begin() + std::ptrdiff_t(skip + n)))
        << text;
  }
}

TEST_F(SearchIndexTest, SnippetsAndTitlesMarkTheMatchedWords) {
  const std::string id = AddSource("Letters", "http://h/1");
  std::string text = "<p>";
  for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
  text += "Caf&eacute; cr&egrave;me end</p>";
  WriteInbox(TestData::Section("a", "Caf\u00e9 day", TestData::Description("Menu", text),
                               "Sat, 05 Dec 2026", "09:00:00", "GMT"),
             id);
  const std::unique_ptr<SearchIndex> index = OpenIndex();
  const Page page = index->Search(ParseQuery("cafe \"creme end\""));
  ASSERT_EQ(page.hits.size(), 1u);
  EXPECT_EQ(page.hits[0].markedTitle,
            "\x02"
            "Caf\u00e9\x03 day");
  EXPECT_EQ(page.hits[0].snippet,
            "\u2026 word56 word57 word58 word59 \x02"
            "Caf\u00e9\x03 \x02"
            "cr\u00e8me\x03 \x02"
            "end\x03");
  EXPECT_EQ(index->Search(ParseQuery("menu"))
                .hits.at(0)
                .snippet.find("\u2026 Editor ann@letters.test \x02"
                              "Menu\x03 word0 word1"),
            0u);
}

// Catches share buttons and tracking addresses found by a search, and a newsletter's hidden
// preheader found although no reader sees it; a picture's alt text is what the page shows.
TEST_F(SearchIndexTest, FindsWhatThePageShowsNotLinkAddressesOrHiddenText) {
  const std::string id = AddSource("Letters", "http://h/1");
  WriteInbox(TestData::Section(
                 "a", "Spring issue",
                 TestData::Description("Issue 4",
                                       "<div style=\"display:none;max-height:0\">walrus "
                                       "preheader</div><p>Read <a href=\"http://x.test/"
                                       "zephyr?utm=quokka\">online</a></p><img src=\"x.png\" "
                                       "alt=\"Garden sale\">"),
                 "Sat, 05 Dec 2026", "09:00:00", "GMT"),
             id);
  const std::unique_ptr<SearchIndex> index = OpenIndex();
  for (const char* found : {"online", "\"garden sale\"", "spring", "issue"})
    EXPECT_EQ(All(*index, found).size(), 1u) << found;
  for (const char* notFound : {"zephyr", "quokka", "utm", "walrus", "preheader", "png"})
    EXPECT_EQ(All(*index, notFound).size(), 0u) << notFound;
}

// Catches every start of the reader throwing the index away: a list given for a moment (the
// tree's first, empty one) dropped the sources it lacked, and the next list indexed them anew.
TEST_F(SearchIndexTest, AStartOnAnUnchangedArchiveIndexesNothingEvenAfterAShortList) {
  AddSource("Letters", "http://h/1", {{"a", "alpha one"}, {"b", "bravo one"}});
  AddSource("Other", "http://h/2", {{"o", "omega one"}});
  EXPECT_EQ(OpenIndex()->IndexedMessages(), 3u);
  std::string error;
  const std::unique_ptr<SearchIndex> index = SearchIndex::Open(SearchIndex::DefaultFile(), error);
  index->SetSources({SearchCommand::Sources()->at(0)});
  ASSERT_TRUE(index->WaitUntilCurrent(60s));
  EXPECT_EQ(All(*index, "one").size(), 2u);
  index->SetSources(*SearchCommand::Sources());
  ASSERT_TRUE(index->WaitUntilCurrent(60s));
  EXPECT_EQ(All(*index, "one").size(), 3u);
  EXPECT_EQ(index->IndexedMessages(), 0u);
}

std::string InboxPath(const std::string& id) {
  return mAppFunctions::DataPath + "/" + id + "/inbox.dat";
}

TEST_F(SearchIndexTest, AnInboxChangedWhileNoIndexWasOpenIsIndexedAnewEvenWithItsSizeAndTimeKept) {
  const std::string id = AddSource("Letters", "http://h/1");
  const auto inbox = [](const std::string& word) {
    return TestData::Section("a", "Issue", "<p>" + word + "</p>", "Sat, 05 Dec 2026");
  };
  WriteInbox(inbox("alpha"), id);
  const std::string other = AddSource("Other", "http://h/2", {{"o", "omega"}});
  OpenIndex();
  // A backup restored with cp -p: the same inode, size and modification time, other words.
  const auto mtime = fs::last_write_time(InboxPath(id));
  std::ofstream(InboxPath(id), std::ios::binary | std::ios::in | std::ios::out) << inbox("bravo");
  fs::last_write_time(InboxPath(id), mtime);
  std::unique_ptr<SearchIndex> index = OpenIndex(false);
  EXPECT_EQ(index->Indexing(), (Progress{1, 2}));
  // Only current sources answer.
  EXPECT_EQ(All(*index, "bravo").size(), 0u);
  EXPECT_EQ(All(*index, "alpha").size(), 0u);
  EXPECT_EQ(All(*index, "omega").size(), 1u);
  index = OpenIndex();
  EXPECT_EQ(index->Indexing(), (Progress{0, 2}));
  EXPECT_EQ(All(*index, "bravo").size(), 1u);
  EXPECT_EQ(All(*index, "alpha").size(), 0u);
  // A source no longer subscribed is dropped.
  index.reset();
  mSubscriptions::CurrentSource = {};
  mSubscriptions::CurrentSource.Link = "http://h/2";
  ASSERT_TRUE(mSubscriptions::ManageSource(mSubscriptions::SourceAction::Delete));
  EXPECT_EQ(All(*OpenIndex(), "omega").size(), 0u);
}

TEST_F(SearchIndexTest, ADamagedOrForeignIndexFileIsStartedAfresh) {
  AddSource("Letters", "http://h/1", {{"a", "alpha"}});
  OpenIndex();
  const std::string file = SearchIndex::DefaultFile();
  const auto userVersion = [&file](int version) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, ("PRAGMA user_version=" + std::to_string(version)).c_str(), nullptr, nullptr,
                 nullptr);
    sqlite3_close(db);
  };
  userVersion(7);
  EXPECT_EQ(All(*OpenIndex(), "alpha").size(), 1u);
  TestSupport::WriteAll(file, std::string(5000, 'x'));
  fs::remove(file + "-wal");
  EXPECT_EQ(All(*OpenIndex(), "alpha").size(), 1u);
  // Cut to half: what is left is read or found damaged; either way the answer is right.
  const auto size = fs::file_size(file);
  fs::resize_file(file, size / 2);
  EXPECT_EQ(All(*OpenIndex(), "alpha").size(), 1u);
}

// The store tells the index what it changes: stored, read, deleted and removed messages are
// found as the files hold them, without indexing a source anew.
TEST_F(SearchIndexTest, FollowsTheStoreWithoutIndexingAnew) {
  const std::string id =
      AddSource("Letters", "http://h/1", {{"a", "alpha one"}, {"b", "bravo one"}});
  const std::string other =
      AddSource("Other", "http://h/2", {{"o", "omega one", "Fri, 04 Dec 2026"}});
  const std::unique_ptr<SearchIndex> index = OpenIndex();
  index->SetSources(*SearchCommand::Sources(), false);
  mInbox::AddListener(index.get());
  mInbox::SourceID = id;
  ASSERT_EQ(
      mInbox::AddNewInboxItems({{"c", "charlie one", TestData::Description("c", "<p>new words</p>"),
                                 "Sun, 06 Dec 2026", "10:00:00", "GMT"}}),
      1u);
  mInbox::CurrentItem.guid = "a";
  ASSERT_TRUE(mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Delete)));
  mInbox::CurrentItem.guid = "b";
  ASSERT_TRUE(mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead)));
  ASSERT_TRUE(index->Flush(10s));
  std::vector<std::string> titles;
  for (const Hit& hit : All(*index, "one")) titles.push_back(hit.title + (hit.read ? " read" : ""));
  EXPECT_EQ(titles, (std::vector<std::string>{"charlie one", "bravo one read", "omega one"}));
  EXPECT_EQ(index->CountUnread(ParseQuery("one")), 2u);
  // Snippets are read from where the messages are now.
  EXPECT_EQ(index->Search(ParseQuery("words")).hits.at(0).snippet,
            "\u2026 letters.test c new \x02words\x03");
  EXPECT_NE(index->Search(ParseQuery("bravo"))
                .hits.at(0)
                .snippet.find("Body of \x02"
                              "bravo\x03 one"),
            std::string::npos);
  // Only the stored message's text went in (3 when the index was built, 1 since).
  EXPECT_EQ(index->IndexedMessages(), 4u);
  mInbox::NotifySourceRemoved(other);
  ASSERT_TRUE(index->Flush(10s));
  EXPECT_EQ(All(*index, "omega").size(), 0u);
  mInbox::RemoveListener(index.get());
  EXPECT_EQ(index->Indexing(), (Progress{1, 2}));
}

}  // namespace
