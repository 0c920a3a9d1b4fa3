// Query planning without threads or inbox files: what a query asks of which sources, run over a
// small index file filled by hand.

#include "archive/QueryPlan.h"

#include "archive/InboxText.h"
#include "archive/IndexFile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Archive;

namespace {

class QueryPlanTest : public ::testing::Test {
 protected:
  QueryPlanTest()
      : m_file(::testing::TempDir() + "/plan-" + std::to_string(::getpid()) + ".db"),
        m_db((IndexFile::Remove(m_file), IndexFile::Open(m_file))),
        m_tokenizer(m_db) {
    Add(1, "k1", "Leek soup", "A soup for cold evenings", "Sun, 01 Feb 2026", false);
    Add(1, "k2", "Bread", "Mix in the evening", "Tue, 03 Feb 2026", true);
    Add(2, "g1", "Soup from the garden", "Pumpkins", "Mon, 02 Feb 2026", true);
    Add(2, "g2", "Mulch", "Before the frost; no soup", "", false);
    Add(3, "a1", "Old soup", "From the archive", "Wed, 04 Feb 2026", false);
  }
  ~QueryPlanTest() override { IndexFile::Remove(m_file); }

  void Add(std::int64_t sid, const std::string& guid, const std::string& title,
           const std::string& body, const std::string& date, bool read) {
    const std::int64_t id = InboxText::BandOf(date, "09:00:00", "GMT").high;
    Sql::Statement message(m_db,
                           "INSERT INTO messages VALUES(?1, ?2, ?3, ?4, ?5, '09:00:00', 'GMT', ?6, "
                           "0, -1, 0)");
    message.Bind(1, id).Bind(2, sid).Bind(3, guid).Bind(4, title).Bind(5, date);
    message.Bind(6, std::int64_t(read)).Run();
    Sql::Statement text(m_db, "INSERT INTO text(rowid, title, body, source) VALUES(?, ?, ?, ?)");
    text.Bind(1, id).Bind(2, title).Bind(3, body).Bind(4, Matching::SourceTokens(sid)).Run();
  }

  // The guids a query finds, a page of `size` at a time; "-" when there is nothing to run.
  std::string Found(const std::string& text, std::size_t size = 50) {
    std::string found;
    std::optional<std::int64_t> before;
    for (;;) {
      const QueryPlan::Plan plan =
          QueryPlan::Make(ParseQuery(text), m_current, before, m_tokenizer);
      if (plan.nothing) return found.empty() ? "-" : found;
      Sql::Statement select(m_db, plan.sql + " LIMIT ?4");
      plan.Bind(select).Bind(4, std::int64_t(size));
      std::size_t rows = 0;
      while (select.Step()) {
        const QueryPlan::Row row = QueryPlan::RowOf(select);
        found += (found.empty() ? "" : " ") + row.guid;
        before = QueryPlan::PageStart(QueryPlan::PageEnd(row.id));
        ++rows;
      }
      if (rows < size) return found;
    }
  }

  const std::string m_file;
  Sql::Database m_db;
  Sql::Tokenizer m_tokenizer;
  // Source 3 ("Kitchen Archive") is not current: its rows are never asked.
  std::vector<QueryPlan::Source> m_current = {{1, "K", "Kitchen Notes"}, {2, "G", "Garden Letter"}};
};

TEST_F(QueryPlanTest, AsksOnlyCurrentSourcesNewestFirstWithinTheDatesAndPages) {
  const std::pair<const char*, const char*> rows[] = {
      {"soup", "g1 k1 g2"},  // dated newest first, undated last; the archive's soup unasked
      {"source:kitchen soup", "k1"},
      {"source:archive soup", "-"},  // only a source that is not current passes the filter
      {"source:nowhere", "-"},
      {"is:unread", "k1 g2"},  // filters only: every message of the current sources
      {"-soup", "k2"},
      {"after:2026-02-02 soup", "g1"},
      {"before:2026-02-02 soup", "k1"},  // undated messages never pass a date filter
      {"after:2026-02-03 before:2026-02-02", "-"},
      {"", "-"},
      {"^ :", "-"},
  };
  for (const auto& [query, found] : rows) EXPECT_EQ(Found(query), found) << query;
  EXPECT_EQ(Found("soup", 1), "g1 k1 g2");
  m_current.clear();
  EXPECT_EQ(Found("soup"), "-");
}

}  // namespace
