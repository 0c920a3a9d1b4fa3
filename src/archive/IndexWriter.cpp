#include "archive/IndexWriter.h"

#include "archive/IndexFile.h"
#include "archive/Matching.h"
#include "inbox/InboxSections.h"

#include <algorithm>

namespace Archive {

namespace {

// Words of deleted messages are dropped by indexing everything anew once they are this many,
// and a quarter of what is indexed.
constexpr std::int64_t kMostGarbage = 50'000;

}  // namespace

// The statements, made once for a connection.
struct IndexWriter::Writes {
  explicit Writes(const Sql::Database& db)
      : insertMessage(db,
                      "INSERT INTO messages(id, sid, guid, title, date, time, zone, read, digest, "
                      "at, size) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)"),
        insertText(db, "INSERT INTO text(rowid, title, body, source) VALUES(?1, ?2, ?3, ?4)"),
        remove(db, "DELETE FROM messages WHERE id = ?1"),
        garbage(db, "INSERT OR IGNORE INTO garbage(id) VALUES(?1)"),
        find(db, "SELECT id, at FROM messages WHERE sid = ?1 AND guid = ?2"),
        keep(db, "UPDATE messages SET read = ?2, at = ?3, size = ?4 WHERE id = ?1"),
        flag(db, "UPDATE messages SET read = ?2, size = size + ?3 WHERE id = ?1"),
        shift(db, "UPDATE messages SET at = at + ?3 WHERE sid = ?1 AND at > ?2"),
        stamp(db, "UPDATE sources SET stamp = ?2, size = ?3 WHERE sid = ?1"),
        size(db, "SELECT size FROM sources WHERE sid = ?1"),
        addSource(db, "INSERT OR IGNORE INTO sources(id, stamp, size) VALUES(?1, '', 0)"),
        sidOf(db, "SELECT sid FROM sources WHERE id = ?1"),
        ids(db) {}
  Sql::Statement insertMessage, insertText, remove, garbage, find, keep, flag, shift, stamp, size,
      addSource, sidOf;
  IdAllocator ids;
};

IndexWriter::IndexWriter(std::string file, std::string dataFolder, Sql::Database db)
    : m_file(std::move(file)), m_dataFolder(std::move(dataFolder)), m_db(std::move(db)) {
  try {
    m_writes = std::make_unique<Writes>(m_db);
  } catch (const Sql::Error&) {
    // Left to StartAfresh.
  }
}

IndexWriter::~IndexWriter() = default;

std::unordered_map<std::string, IndexWriter::Indexed> IndexWriter::Sources() {
  std::unordered_map<std::string, Indexed> sources;
  Sql::Statement rows(m_db, "SELECT sid, id, stamp FROM sources");
  while (rows.Step()) {
    sources.emplace(rows.Text(1), Indexed{rows.Int(0), rows.Text(2)});
  }
  return sources;
}

std::int64_t IndexWriter::SidOf(const std::string& sourceId) {
  m_writes->addSource.Bind(1, sourceId).Run();
  Sql::Statement& select = m_writes->sidOf;
  select.Bind(1, sourceId);
  const std::int64_t sid = select.Step() ? select.Int(0) : 0;
  select.Reset();
  return sid;
}

void IndexWriter::Insert(std::int64_t sid, const mInbox::InboxItem& item, std::int64_t digest,
                         std::int64_t at, std::int64_t size, std::vector<NewText>& texts,
                         std::optional<std::string> text) {
  const std::int64_t id =
      m_writes->ids.Allocate(InboxText::BandOf(item.date, item.time, item.offset));
  Sql::Statement& insert = m_writes->insertMessage;
  insert.Bind(1, id).Bind(2, sid).Bind(3, item.guid).Bind(4, item.title).Bind(5, item.date);
  insert.Bind(6, item.time).Bind(7, item.offset).Bind(8, std::int64_t(item.read != 0));
  insert.Bind(9, digest).Bind(10, at).Bind(11, size).Run();
  texts.push_back({id, item.title, text ? std::move(*text) : InboxText::IndexedText(item),
                   Matching::SourceTokens(sid)});
}

// The text index takes ids in rising order within a transaction without starting a new part for
// each one.
void IndexWriter::InsertTexts(std::vector<NewText>& texts) {
  std::sort(texts.begin(), texts.end(),
            [](const NewText& a, const NewText& b) { return a.id < b.id; });
  Sql::Statement& insert = m_writes->insertText;
  for (const NewText& text : texts)
    insert.Bind(1, text.id).Bind(2, text.title).Bind(3, text.body).Bind(4, text.source).Run();
}

void IndexWriter::ForgetMessage(std::int64_t id) {
  m_writes->remove.Bind(1, id).Run();
  m_writes->garbage.Bind(1, id).Run();
}

void IndexWriter::ForgetSource(const std::string& sourceId) {
  Sql::Statement& select = m_writes->sidOf;
  select.Bind(1, sourceId);
  const std::optional<std::int64_t> sid =
      select.Step() ? std::optional<std::int64_t>(select.Int(0)) : std::nullopt;
  select.Reset();
  if (!sid) return;
  const std::string where = " WHERE sid = " + std::to_string(*sid);
  m_db.Exec("INSERT OR IGNORE INTO garbage(id) SELECT id FROM messages" + where);
  m_db.Exec("DELETE FROM messages" + where);
  m_db.Exec("DELETE FROM sources" + where);
}

void IndexWriter::Forget(const std::vector<std::string>& sourceIds) {
  if (sourceIds.empty()) return;
  Sql::Transaction transaction(m_db);
  for (const std::string& id : sourceIds) ForgetSource(id);
  transaction.Commit();
}

void IndexWriter::SetStamp(std::int64_t sid, const InboxText::Stamp& stamp) {
  m_writes->stamp.Bind(1, sid).Bind(2, stamp.text).Bind(3, stamp.size).Run();
}

std::int64_t IndexWriter::Rebuild(const std::string& sourceId, InboxText::Inbox& inbox,
                                  const std::function<bool()>& stopping) {
  Sql::Transaction transaction(m_db);
  const std::int64_t sid = SidOf(sourceId);
  struct Old {
    std::int64_t id, digest, at, size;
    bool read;
  };
  std::unordered_map<std::string, Old> old;
  {
    Sql::Statement rows(m_db,
                        "SELECT id, guid, digest, read, at, size FROM messages WHERE sid = ?1");
    rows.Bind(1, sid);
    while (rows.Step())
      old[rows.Text(1)] = {rows.Int(0), rows.Int(2), rows.Int(4), rows.Int(5), rows.Int(3) != 0};
  }
  Sql::Statement& update = m_writes->keep;
  std::vector<NewText> texts;
  std::size_t done = 0;
  for (InboxText::FileMessage& message : inbox.messages) {
    if ((++done & 63) == 0 && stopping()) throw Abandoned();
    const auto known = old.find(message.item.guid);
    if (known != old.end() && known->second.digest == message.digest) {
      const Old& o = known->second;
      if (o.read != (message.item.read != 0) || o.at != message.at || o.size != message.size) {
        update.Bind(1, o.id).Bind(2, std::int64_t(message.item.read != 0));
        update.Bind(3, message.at).Bind(4, message.size).Run();
      }
      old.erase(known);
      continue;
    }
    if (known != old.end()) {
      ForgetMessage(known->second.id);
      old.erase(known);
    }
    Insert(sid, message.item, message.digest, message.at, message.size, texts,
           std::move(message.text));
  }
  for (const auto& [guid, o] : old) ForgetMessage(o.id);
  if (stopping()) throw Abandoned();
  InsertTexts(texts);
  SetStamp(sid, inbox.stamp);
  transaction.Commit();
  m_indexed += texts.size();
  return sid;
}

void IndexWriter::Apply(
    const std::vector<Change>& changes,
    const std::function<std::optional<std::int64_t>(const std::string&)>& current) {
  Sql::Transaction transaction(m_db);
  std::vector<NewText> texts;
  for (const Change& change : changes) {
    if (change.kind == Change::Kind::Removed) {
      ForgetSource(change.sourceId);
      continue;
    }
    const std::optional<std::int64_t> sid = current(change.sourceId);
    if (!sid) continue;
    std::int64_t oldSize = 0;
    m_writes->size.Bind(1, *sid);
    if (m_writes->size.Step()) oldSize = m_writes->size.Int(0);
    m_writes->size.Reset();
    if (change.kind == Change::Kind::Stored) {
      StoreItems(*sid, change, oldSize, texts);
    } else {
      ChangeOne(*sid, change, oldSize);
    }
    SetStamp(*sid, change.stamp);
  }
  InsertTexts(texts);
  transaction.Commit();
  m_indexed += texts.size();
}

void IndexWriter::StoreItems(std::int64_t sid, const Change& change, std::int64_t oldSize,
                             std::vector<NewText>& texts) {
  // The new sections follow the old end of the file; found there while the file is still the one
  // they were stored into.
  std::unordered_map<std::string, InboxSections::Span> spans;
  const std::string path = InboxText::InboxFile(m_dataFolder, change.sourceId);
  if (InboxText::StampOf(path) == change.stamp) {
    for (InboxSections::Span& span : InboxSections::SpansFrom(path, oldSize, change.stamp.size))
      spans.emplace(span.name, std::move(span));
  }
  Sql::Statement& exists = m_writes->find;
  for (const mInbox::InboxItem& told : change.items) {
    const mInbox::InboxItem item = InboxText::FileForm(told);
    exists.Bind(1, sid).Bind(2, item.guid);
    const bool known = exists.Step();
    exists.Reset();
    if (known) continue;
    const auto span = spans.find(InboxSections::FoldedName(item.guid));
    Insert(sid, item, InboxText::Digest(item), span == spans.end() ? -1 : span->second.at,
           span == spans.end() ? 0 : span->second.size, texts);
  }
}

// A read flag set or a message deleted: the sections after it moved by the change in size.
void IndexWriter::ChangeOne(std::int64_t sid, const Change& change, std::int64_t oldSize) {
  Sql::Statement& find = m_writes->find;
  find.Bind(1, sid).Bind(2, change.guid);
  if (!find.Step()) {
    find.Reset();
    return;
  }
  const std::int64_t id = find.Int(0), at = find.Int(1);
  find.Reset();
  const std::int64_t moved = change.stamp.size - oldSize;
  if (change.kind == Change::Kind::Deleted) {
    ForgetMessage(id);
  } else {
    m_writes->flag.Bind(1, id).Bind(2, std::int64_t(change.read)).Bind(3, moved).Run();
  }
  if (moved != 0 && at >= 0) m_writes->shift.Bind(1, sid).Bind(2, at).Bind(3, moved).Run();
}

bool IndexWriter::TidyIfNeeded() {
  if (++m_callsSinceTidy < 64) return false;
  m_callsSinceTidy = 0;
  std::int64_t garbage = 0, messages = 0;
  {
    Sql::Statement count(m_db,
                         "SELECT (SELECT count(*) FROM garbage), (SELECT count(*) FROM messages)");
    if (!count.Step()) return false;
    garbage = count.Int(0);
    messages = count.Int(1);
  }
  if (garbage <= kMostGarbage || garbage * 4 <= messages) return false;
  StartAfresh(false);
  return true;
}

void IndexWriter::StartAfresh(bool damaged) {
  m_writes.reset();
  try {
    if (damaged) {
      m_db = Sql::Database();
      IndexFile::Remove(m_file);
      m_db = IndexFile::Open(m_file);
    } else {
      IndexFile::Recreate(m_db);
    }
    m_writes = std::make_unique<Writes>(m_db);
  } catch (const Sql::Error&) {
  }
}

}  // namespace Archive
