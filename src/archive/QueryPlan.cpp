#include "archive/QueryPlan.h"

#include "archive/InboxText.h"

#include <algorithm>
#include <charconv>

namespace Archive::QueryPlan {

namespace {

constexpr const char* kColumns =
    "SELECT m.id, m.sid, m.guid, m.title, m.date, m.time, m.zone, m.read, m.at, m.size ";

}  // namespace

Sql::Statement& Plan::Bind(Sql::Statement& statement) const {
  statement.Bind(1, match).Bind(2, low).Bind(3, high);
  return statement;
}

Plan Make(const Query& query, const std::vector<Source>& current,
          std::optional<std::int64_t> before, const Sql::Tokenizer& tokenizer, bool oldestFirst) {
  Plan plan;
  if (query.Empty() || current.empty()) return plan;
  std::vector<std::int64_t> wanted;
  if (!query.sources.empty()) {
    for (const Source& source : current) {
      if (std::any_of(query.sources.begin(), query.sources.end(), [&](const std::string& value) {
            return Matching::SourceMatches(source.title, value, tokenizer);
          }))
        wanted.push_back(source.sid);
    }
    // Sources that are not current yet might have matched: none of them is searched.
    if (wanted.empty()) return plan;
    std::sort(wanted.begin(), wanted.end());
  }
  plan.match = Matching::Expression(query, tokenizer, query.sources.empty() ? nullptr : &wanted);
  if (Matching::AsksNothing(query, plan.match)) return plan;
  if (query.after || query.before) plan.low = InboxText::FirstDatedId();
  if (query.after) plan.low = std::max(plan.low, InboxText::FirstIdOfDay(*query.after));
  if (query.before) plan.high = InboxText::FirstIdOfDay(*query.before) - 1;
  if (before) plan.high = std::min(plan.high, *before - 1);
  if (plan.low > plan.high) return plan;
  plan.phrases = Matching::IncludedPhrases(query, tokenizer);

  std::vector<std::int64_t> sids;
  for (const Source& source : current) sids.push_back(source.sid);
  std::sort(sids.begin(), sids.end());
  std::string in = "m.sid IN (";
  for (std::size_t i = 0; i < sids.size(); ++i) in += (i ? "," : "") + std::to_string(sids[i]);
  in += ")";
  const std::string read = !query.read ? "" : *query.read ? " AND m.read = 1" : " AND m.read = 0";
  const std::string order = oldestFirst ? " ASC" : " DESC";
  if (plan.match.empty()) {
    // Filters only: the messages in id order, the text index not asked (?1 stays unused).
    plan.sql = std::string(kColumns) +
               "FROM messages AS m WHERE ?1 IS NOT NULL AND m.id BETWEEN ?2 AND ?3 AND " + in +
               read + " ORDER BY m.id" + order;
  } else {
    // The text index leads, newest id first, so a page stops early.
    plan.sql = std::string(kColumns) +
               "FROM text CROSS JOIN messages AS m ON m.id = text.rowid "
               "WHERE text MATCH ?1 AND text.rowid BETWEEN ?2 AND ?3 AND " +
               in + read + " ORDER BY text.rowid" + order;
  }
  plan.nothing = false;
  return plan;
}

std::string PageEnd(std::int64_t lastId) { return std::to_string(lastId); }

std::optional<std::int64_t> PageStart(const std::string& end) {
  std::int64_t id = 0;
  const auto [rest, error] = std::from_chars(end.data(), end.data() + end.size(), id);
  if (end.empty() || error != std::errc() || rest != end.data() + end.size()) return std::nullopt;
  return id;
}

Row RowOf(const Sql::Statement& s) {
  Row row;
  row.id = s.Int(0);
  row.sid = s.Int(1);
  row.guid = s.Text(2);
  row.title = s.Text(3);
  row.date = s.Text(4);
  row.time = s.Text(5);
  row.zone = s.Text(6);
  row.read = s.Int(7) != 0;
  row.at = s.Int(8);
  row.size = s.Int(9);
  return row;
}

}  // namespace Archive::QueryPlan
