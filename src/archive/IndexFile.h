#pragma once
// The search index's SQLite file: its layout, opened ready for use, or started afresh when it is
// damaged, cut short, another program's or of another layout version. The file is derived from
// the inbox files and disposable, so replacing it costs only time.

#include "archive/Sqlite.h"

#include <cstdint>
#include <string>

namespace Archive::IndexFile {

// In the file's user_version beside a mark of our own. It rises with every change of the layout
// or of what is indexed of a message, so that the first start after an upgrade indexes anew.
inline constexpr std::int64_t kVersion = 0x51500000 + 2;

// Messages: one row each, its id ordering it by date (InboxText::BandOf). The text index holds
// their words under the same ids; what it holds of messages deleted since stays there (a
// contentless table forgets nothing) and their ids are kept in garbage, never handed out again.
// A source's rows are current when its stamp is its inbox file's.
inline constexpr const char* kTables[] = {"sources", "messages", "garbage", "text"};

// The worker's connection: the file as it is when it is ours and of this version, else a new
// one in its place. Throws Sql::Error when SQLite cannot open the file at all.
Sql::Database Open(const std::string& file);
// A connection for searching the file the worker opened.
Sql::Database OpenForReading(const std::string& file);
// Drops everything and makes the layout anew, in one transaction (the words of deleted messages
// weigh too much).
void Recreate(Sql::Database& db);
// The file and SQLite's files beside it.
void Remove(const std::string& file);

}  // namespace Archive::IndexFile
