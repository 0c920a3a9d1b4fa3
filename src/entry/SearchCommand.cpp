#include "entry/SearchCommand.h"

#include "archive/InboxText.h"
#include "archive/Query.h"
#include "core/XmlDocument.h"
#include "core/mAppFunctions.h"
#include "core/mGeneralFunctions.h"
#include "inbox/InboxEvents.h"
#include "subscriptions/mSubscriptions.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

namespace SearchCommand {

namespace {

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

std::string DateOf(const std::string& stored) {
  const std::optional<std::int32_t> day = Archive::InboxText::DayOf(stored);
  if (!day) return {};
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{*day}}};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()), unsigned(date.month()),
                unsigned(date.day()));
  return text;
}

// The data folder as the reader finds it, without creating anything.
bool UseDataFolder() {
  mAppFunctions::DataPath = mAppFunctions::DataFolder();
  return mGeneralFunctions::FolderExists(mAppFunctions::DataPath);
}

}  // namespace

std::string Line(const Archive::Hit& hit) {
  return DateOf(hit.date) + '\t' + OneLine(hit.sourceTitle) + '\t' + OneLine(hit.title);
}

std::optional<std::vector<Archive::SourceRef>> Sources() {
  XmlDocument document;
  XmlNode list;
  if (mSubscriptions::OpenQuietly(document, list) != mSubscriptions::OpenFailure::None)
    return std::nullopt;
  std::vector<Archive::SourceRef> sources;
  std::set<std::string> ids;
  for (const XmlNode& child : list.ChildNodes()) {
    if (!child.IsElement()) continue;
    const std::vector<XmlAttribute> attributes = child.Attributes();
    if (attributes.size() < 2 || !ids.insert(attributes[0].value).second) continue;
    sources.push_back({attributes[0].value, attributes[1].value});
  }
  return sources;
}

int Run(const std::string& text, std::ostream& out, std::ostream& err) {
  const Archive::Query query = Archive::ParseQuery(text);
  if (!query.unreadableDate.empty()) {
    err << "quillpost: the date in \"" << query.unreadableDate
        << "\" cannot be read: write it as 2026-01-31\n";
    return Failed;
  }
  if (query.Empty()) {
    err << "quillpost: nothing to search for in \"" << text << "\"\n";
    return Failed;
  }
  if (!UseDataFolder()) {
    err << "quillpost: there is no data folder " << mAppFunctions::DataPath << "\n";
    return Failed;
  }
  const std::optional<std::vector<Archive::SourceRef>> sources = Sources();
  if (!sources) {
    XmlDocument document;
    XmlNode list;
    err << "quillpost: cannot read the subscription file: "
        << mSubscriptions::Describe(mSubscriptions::OpenQuietly(document, list)) << "\n";
    return Failed;
  }
  std::string error;
  std::unique_ptr<Archive::SearchIndex> index;
  // An index that exists has its folder; the folder's mark of use is the reader's to renew, and
  // writing it safely costs a flush to the disk on every search.
  const std::string file = Archive::SearchIndex::DefaultFile();
  std::error_code ec;
  if ((!file.empty() && std::filesystem::exists(file, ec)) || mAppFunctions::PrepareCacheFolder())
    index = Archive::SearchIndex::Open(file, error);
  else
    error = "the cache folder " + mAppFunctions::CacheFolder() + " cannot be made";
  if (!index) {
    err << "quillpost: the search index cannot be opened: " << error << "\n";
    return Failed;
  }
  index->SetSources(*sources);
  auto told = std::chrono::steady_clock::time_point{};
  const auto progress = [&](const Archive::Progress& now) {
    if (now.pending == 0 || std::chrono::steady_clock::now() - told < std::chrono::seconds(1))
      return;
    told = std::chrono::steady_clock::now();
    // Counts up, as the search pane does.
    err << "Indexing " << now.total - now.pending + 1 << " of " << now.total << " sources ...\n";
    err.flush();
  };
  if (!index->WaitUntilCurrent(std::chrono::hours(24), progress)) {
    err << "quillpost: the search index could not be brought up to date\n";
    return Failed;
  }
  bool any = false;
  std::string from;
  do {
    Archive::Page page = index->Search(query, from, 1000, false);
    for (const Archive::Hit& hit : page.hits) out << Line(hit) << '\n';
    any = any || !page.hits.empty();
    from = std::move(page.next);
  } while (!from.empty());
  out.flush();
  if (!out) {
    err << "quillpost: the results cannot be written\n";
    return Failed;
  }
  return any ? Matched : NothingMatched;
}

IndexKeeper::IndexKeeper() {
  const std::string file = Archive::SearchIndex::DefaultFile();
  std::error_code ec;
  if (file.empty() || !std::filesystem::exists(file, ec)) return;
  if (mGeneralFunctions::IsBlank(mAppFunctions::DataPath) && !UseDataFolder()) return;
  const std::optional<std::vector<Archive::SourceRef>> sources = Sources();
  if (!sources || !mAppFunctions::PrepareCacheFolder()) return;
  std::string error;
  m_index = Archive::SearchIndex::Open(file, error);
  if (!m_index) return;
  m_index->SetSources(*sources, false);
  mInbox::AddListener(m_index.get());
}

IndexKeeper::~IndexKeeper() {
  if (!m_index) return;
  mInbox::RemoveListener(m_index.get());
  m_index->Flush(std::chrono::minutes(1));
}

}  // namespace SearchCommand
