#include "FuzzEntries.h"

#include "archive/InboxText.h"
#include "archive/Matching.h"
#include "archive/Query.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AsciiText.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/Utf8.h"
#include "core/mAppFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"
#include "presentation/MessageRendering.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"
#include "sync/SyncFiles.h"
#include "sync/SyncState.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace FuzzEntries {

namespace {

// Listings are walked only this far, so one input cannot cost seconds.
constexpr std::size_t kMaxNames = 64;

// An empty data folder for this input, set as the program's data folder.
std::string FreshDataFolder() {
  const std::string folder = Services::Environment().AppDataFolder() + "/Quillpost Data";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  return mAppFunctions::DataPath = folder;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A name for a finding's message: its first 60 bytes, each unprintable one as '?'.
std::string Quoted(std::string_view text) {
  std::string out(text.substr(0, 60));
  for (char& c : out) c = (c >= 0x20 && c < 0x7f) ? c : '?';
  return "\"" + out + "\"";
}

std::vector<std::string> First(std::vector<std::string> names) {
  if (names.size() > kMaxNames) names.resize(kMaxNames);
  return names;
}

struct Entry {
  std::string section, key, value;
};

}  // namespace

std::string IniReader(std::string_view input) {
  const std::string text(input), path = FreshDataFolder() + "/document.ini";
  const IniDocument doc = IniDocument::Parse(text);
  if (doc.Serialize() != text) return "an unchanged document does not serialize to its text";
  WriteBytes(path, text);
  std::error_code ec;
  if (IniDocument::ReadSectionNames(path, ec) != doc.SectionNames())
    return "ReadSectionNames differs from SectionNames";
  std::vector<Entry> entries;
  for (const std::string& section : First(doc.SectionNames())) {
    if (IniDocument::ReadKeyNames(path, section, ec) != doc.KeyNames(section))
      return "ReadKeyNames differs for " + Quoted(section);
    for (const std::string& key : First(doc.KeyNames(section))) {
      const auto value = doc.GetValue(section, key);
      if (!value || IniDocument::ReadValue(path, section, key, ec) != value)
        return "a listed key does not read the same: " + Quoted(section) + " " + Quoted(key);
      entries.push_back({section, key, *value});
      // Numbers read the same both ways.
      const auto number = cINI::ParseWholeNumber(*value);
      const bool fits = number && *number >= INT32_MIN && *number <= INT32_MAX;
      if (cINI::CLngDefault(*value, 7) != (fits ? std::int32_t(*number) : 7))
        return "CLngDefault differs from ParseWholeNumber for " + Quoted(*value);
    }
  }
  // A change touches only its entry and survives a reparse.
  const Entry changed = entries.empty() ? Entry{"fuzz section", "fuzz key", {}} : entries[0];
  if (changed.key.find('=') == std::string::npos && !changed.key.starts_with('[')) {
    IniDocument edited = IniDocument::Parse(text);
    if (!edited.SetValue(changed.section, changed.key, "fuzz value")) return "SetValue refused";
    const IniDocument reread = IniDocument::Parse(edited.Serialize());
    if (reread.GetValue(changed.section, changed.key) != "fuzz value")
      return "a stored value does not read back: " + Quoted(changed.key);
    for (const Entry& entry : entries) {
      if (AsciiText::EqualsNoCase(entry.section, changed.section) &&
          AsciiText::EqualsNoCase(entry.key, changed.key))
        continue;
      if (reread.GetValue(entry.section, entry.key) != entry.value)
        return "changing " + Quoted(changed.key) + " changed " + Quoted(entry.key);
    }
  }
  // The search index's own reader lists the messages the store lists, with their values.
  const auto messages = Archive::InboxText::ReadInbox(path);
  const std::vector<std::string> names = doc.SectionNames();
  if (!messages || messages->size() != names.size()) return "the index reads other sections";
  for (std::size_t i = 0; i < std::min(names.size(), kMaxNames); ++i) {
    const mInbox::InboxItem& item = (*messages)[i].item;
    const auto value = [&](const char* key) { return doc.GetValue(names[i], key).value_or(""); };
    const bool read = cINI::CLngDefault(value("read"), 0) == 1;
    if (item.guid != names[i] || item.title != value("title") ||
        item.description != value("description") || item.date != value("date") ||
        item.time != value("time") || item.offset != value("offset") || (item.read != 0) != read)
      return "the index reads section " + Quoted(names[i]) + " otherwise";
  }
  if (!entries.empty()) {
    IniDocument edited = IniDocument::Parse(text);
    edited.DeleteSection(entries[0].section);
    if (IniDocument::Parse(edited.Serialize()).HasSection(entries[0].section))
      return "a deleted section is still there: " + Quoted(entries[0].section);
  }
  return {};
}

std::string FeedParser(std::string_view input) {
  using mInbox::InboxAction;
  const auto Manage = [](InboxAction action) { return mInbox::ManageInboxItem(int(action)); };
  const mInbox::FeedContent feed = mInbox::ReadFeed(input);
  const bool readable = feed.failure == mInbox::FeedFailure::None;
  if (!readable && !feed.items.empty()) return "a feed that could not be read lists items";
  std::set<std::string> guids;  // as the inbox tells them apart
  for (const mInbox::InboxItem& item : feed.items) {
    if (item.description.find_first_of("\n[]") != std::string::npos)
      return "a description is not in the stored form: " + Quoted(item.description);
    if (const std::string guid = mInbox::NormalizedGuid(item.guid); !guid.empty())
      guids.insert(AsciiText::Lower(guid));
  }

  FreshDataFolder();
  mInbox::SourceID = "33221100-5544-7766-8899-AABBCCDDEEFF";
  const std::string text(input);
  if (mInbox::ParseFeed(text, "Fuzz source") != readable)
    return "ParseFeed and ReadFeed disagree on whether the feed reads";
  if (!readable) return {};
  // No value when nothing was stored: the source folder was never made.
  const auto messages = mInbox::ListMessages().value_or(std::vector<mInbox::MessageSummary>{});
  if (std::size_t(mInbox::NewMessageCount) != guids.size() || messages.size() != guids.size())
    return std::to_string(guids.size()) + " distinct guids, " +
           std::to_string(mInbox::NewMessageCount) + " stored, " + std::to_string(messages.size()) +
           " listed";
  for (std::size_t i = 0; i < std::min<std::size_t>(messages.size(), 8); ++i) {
    mInbox::CurrentItem = {};
    mInbox::CurrentItem.guid = messages[i].guid;
    if (!Manage(InboxAction::Load) || !Manage(InboxAction::MarkRead) ||
        !Manage(InboxAction::Load) || mInbox::CurrentItem.read != 1)
      return "a stored message does not keep its read mark: " + Quoted(messages[i].guid);
  }
  if (!mInbox::ParseFeed(text, "Fuzz source") || mInbox::NewMessageCount != 0)
    return "the same feed checked again stored " + std::to_string(mInbox::NewMessageCount);
  return {};
}

std::string MessageHeader(std::string_view input) {
  const auto header = MessageRendering::ParseMessageHeader(input);
  if (header.Body.size() > input.size()) return "the body is longer than the description";
  if (MessageRendering::RenderPage("<b>FN</b> FEML DT RT REML <i>SL</i>DESC", header).empty())
    return "an empty page";
  MessageRendering::ShortenTitle(input);
  return {};
}

std::string PubDate(std::string_view input) {
  const mInbox::PubDateParts parts = mInbox::SplitPubDate(input);
  for (const std::string* part : {&parts.date, &parts.time, &parts.zone})
    if (input.find(*part) == std::string_view::npos) return "part " + Quoted(*part) + " is made up";
  mInbox::DayNumber(input);
  mInbox::DayNumber(parts.date);
  return {};
}

std::string Subscriptions(std::string_view input) {
  const std::string folder = FreshDataFolder();
  WriteBytes(folder + "/subscriptions.dat", input);
  std::vector<mSubscriptions::MessageSource> sources;
  const bool read = mSubscriptions::ReadSources(sources);
  for (const char* name : {"tvSources", "tvMessages"}) {
    TreeControl tree(name);
    if (mSubscriptions::LoadSubscriptions(tree) != read) return std::string(name) + " loads not";
  }
  if (!sources.empty()) {
    mSubscriptions::CurrentSource = {};
    mSubscriptions::CurrentSource.Link = sources.front().Link;
    if (!mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists))
      return "a source that was read is not found by its link " + Quoted(sources.front().Link);
  }
  return {};
}

std::string SyncLog(std::string_view input) {
  const std::string folder = FreshDataFolder(), machine(32, 'b'), nonce = "0123456789abcdef";
  std::string text(input);
  if (!text.starts_with("QPSYNC")) text = Sync::HeaderLine({Sync::FileType::Log, machine, nonce, {}}) + text;
  const bool snapshot = text.starts_with("QPSYNC\t1\tsnapshot");
  const std::string name = "quillpost-" + machine + (snapshot ? ".snapshot" : ".log");
  const std::string path = folder + "/" + name;
  const Sync::FileName what{machine, snapshot, false};
  const auto read = [&](const std::optional<Sync::FilePosition>& from, std::vector<Sync::Action>& into) {
    return Sync::ReadFile(path, name, from, &what, [&](Sync::Action&& a) { into.push_back(std::move(a)); });
  };
  WriteBytes(path, text);
  std::vector<Sync::Action> whole;
  const Sync::FileRead r = read(std::nullopt, whole);
  if (r.lines.size() > Sync::kMaxLinesPerFile + 1) return "too many report lines";
  for (std::size_t i = 0; i < std::min<std::size_t>(whole.size(), kMaxNames); ++i) {
    std::string line = Sync::LogLine(whole[i]);
    line.pop_back();
    Sync::LineContext context;
    context.machine = whole[i].machine;
    const Sync::ParsedLine again = Sync::ParseLine(line, context);
    if (!again.action || *again.action != whole[i]) return "an action does not read back: " + Quoted(line);
  }
  Sync::State once, twice;
  for (const Sync::Action& a : whole) once.Add(a);
  for (int n = 0; n < 2; ++n)
    for (const Sync::Action& a : whole) twice.Add(a);
  const Sync::Header header{Sync::FileType::Snapshot, machine, nonce, nonce};
  const std::string state = Sync::StateText(once, header, false);
  if (Sync::StateText(twice, header, false) != state) return "reading twice changed the state";
  const std::string snapshotPath = folder + "/quillpost-" + machine + ".snapshot";
  WriteBytes(snapshotPath, state);
  Sync::State reread;
  const Sync::FileName snapshotName{machine, true, false};
  const Sync::FileRead back = Sync::ReadFile(snapshotPath, "s", std::nullopt, &snapshotName,
                                             [&](Sync::Action&& a) { reread.Add(a); });
  if (!back.complete || back.refused || Sync::StateText(reread, header, false) != state)
    return "the state's snapshot does not read back as the state";
  if (snapshot || text.size() < 2) return {};
  // Half of it first, the rest arriving later.
  WriteBytes(path, std::string_view(text).substr(0, text.size() / 2));
  std::vector<Sync::Action> parts;
  const Sync::FileRead first = read(std::nullopt, parts);
  WriteBytes(path, text);
  read(first.failed ? std::nullopt : std::optional(first.position), parts);
  if (parts != whole) return "a log read in two parts differs from the whole";
  return {};
}

std::string Query(std::string_view input) {
  const Archive::Query query = Archive::ParseQuery(input);
  std::size_t bytes = 0;
  for (const Archive::Term& term : query.terms) {
    bytes += term.text.size();
    if (term.text.empty() || Utf8::FirstInvalid(term.text) != std::string::npos ||
        std::any_of(term.text.begin(), term.text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
      return "a term is not clean text: " + Quoted(term.text);
  }
  for (const std::string& source : query.sources) bytes += source.size();
  if (bytes > Archive::kMaxQueryBytes) return "the query is longer than its limit";
  // Three messages with words and one without any: only a query that asks for no word at all
  // (exclusions, filters) may find that one. Their text index is made once for all inputs.
  static const std::vector<mInbox::InboxItem> items = {
      {"1", "Kitchen notes", "<p>Caf&eacute; cr\u00e8me and bread</p>", "Sat, 05 Dec 2026",
       "09:00:00", "GMT", 0},
      {"2", "Near start", "header start: From: \"A\" <a@x>Subject: S header end -->}x y z",
       "Sun, 06 Dec 2026", "", "", 1},
      {"3", "NOT OR AND", "1 2 3 e-mail", "", "", "", 0},
      {"4", "", "", "", "", "", 1}};
  static Archive::Matching::ArrivingMatcher matcher("Kitchen Notes", items);
  std::vector<bool> found;
  try {
    found = matcher.Matches(query);
  } catch (const std::exception& error) {
    return std::string("the text index failed: ") + error.what();
  }
  // Terms the index has no word for ("\u2026") ask for nothing.
  static const Archive::Sql::Database db(":memory:");
  static const Archive::Sql::Tokenizer tokenizer(db);
  const bool asksForWords = !Archive::Matching::IncludedPhrases(query, tokenizer).empty();
  if (found.size() != items.size()) return "an answer for another number of messages";
  if (asksForWords && found[3]) return "a message without words matches words";
  if (query.Empty() && std::count(found.begin(), found.end(), true) > 0)
    return "an empty query finds messages";
  return {};
}

}  // namespace FuzzEntries
