#include "FuzzEntries.h"

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/Services.h"
#include "core/TreeControl.h"
#include "core/mAppFunctions.h"
#include "inbox/FeedParser.h"
#include "inbox/InboxTree.h"
#include "inbox/mInbox.h"
#include "presentation/MessageRendering.h"
#include "subscriptions/SourceTree.h"
#include "subscriptions/mSubscriptions.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace FuzzEntries {

namespace {

// Listings are walked only this far, so one input cannot cost seconds.
constexpr std::size_t kMaxNames = 64;
constexpr const char* kSourceID = "33221100-5544-7766-8899-AABBCCDDEEFF";

// An empty data folder for this input, set as the program's data folder.
std::string FreshDataFolder() {
  const std::string folder = Services::Environment().AppDataFolder() + "/Quillpost Data";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  mAppFunctions::DataPath = folder;
  return folder;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text.substr(0, 80)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + (text.size() > 80 ? "\"..." : "\"");
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

struct Entry {
  std::string section, key, value;
};

// Every listed section and key with its value, as lookups give them.
std::string ListEntries(const IniDocument& doc, std::vector<Entry>& entries) {
  std::vector<std::string> sections = doc.SectionNames();
  if (sections.size() > kMaxNames) sections.resize(kMaxNames);
  for (const std::string& section : sections) {
    if (!doc.HasSection(section)) return "listed section not found: " + Quoted(section);
    std::vector<std::string> keys = doc.KeyNames(section);
    if (keys.size() > kMaxNames) keys.resize(kMaxNames);
    for (const std::string& key : keys) {
      const std::optional<std::string> value = doc.GetValue(section, key);
      if (!value || !doc.HasKey(section, key)) {
        return "listed key not found: " + Quoted(section) + " " + Quoted(key);
      }
      entries.push_back({section, key, *value});
    }
  }
  return {};
}

std::string CheckIniDocument(const std::string& text, const std::string& path) {
  const IniDocument doc = IniDocument::Parse(text);
  if (doc.Serialize() != text) return "an unchanged document does not serialize to its text";
  std::vector<Entry> entries;
  if (std::string problem = ListEntries(doc, entries); !problem.empty()) return problem;

  // The single lookups straight from the file agree with the parsed document.
  WriteBytes(path, text);
  std::error_code ec;
  if (IniDocument::ReadSectionNames(path, ec) != doc.SectionNames()) {
    return "ReadSectionNames differs from SectionNames";
  }
  for (const Entry& entry : entries) {
    if (IniDocument::ReadValue(path, entry.section, entry.key, ec) != entry.value) {
      return "ReadValue differs for " + Quoted(entry.section) + " " + Quoted(entry.key);
    }
  }

  // A change touches only its entry and survives a save and a reparse.
  const Entry changed = entries.empty() ? Entry{"fuzz section", "fuzz key", {}}
                                        : Entry{entries[0].section, entries[0].key, {}};
  if (changed.key.find('=') == std::string::npos && !changed.key.starts_with('[')) {
    IniDocument edited = IniDocument::Parse(text);
    if (!edited.SetValue(changed.section, changed.key, "fuzz value")) return "SetValue refused";
    const IniDocument reread = IniDocument::Parse(edited.Serialize());
    if (reread.GetValue(changed.section, changed.key) != "fuzz value") {
      return "a stored value does not read back: " + Quoted(changed.section) + " " +
             Quoted(changed.key);
    }
    for (const Entry& entry : entries) {
      if (SameIgnoringCase(entry.section, changed.section) &&
          SameIgnoringCase(entry.key, changed.key)) {
        continue;
      }
      if (reread.GetValue(entry.section, entry.key) != entry.value) {
        return "changing " + Quoted(changed.key) + " changed " + Quoted(entry.section) + " " +
               Quoted(entry.key);
      }
    }
  }
  if (!entries.empty()) {
    IniDocument edited = IniDocument::Parse(text);
    edited.DeleteSection(entries[0].section);
    if (IniDocument::Parse(edited.Serialize()).HasSection(entries[0].section)) {
      return "a deleted section is still there: " + Quoted(entries[0].section);
    }
  }
  return {};
}

// A window on a screen of 1920 x 1080 pixels at 15 twips per pixel.
class FakeWindow : public cINI::IFormWindow {
 public:
  bool IsMinimized() const override { return false; }
  bool IsMaximized() const override { return false; }
  std::int32_t Left() const override { return left; }
  std::int32_t Top() const override { return top; }
  std::int32_t Width() const override { return width; }
  std::int32_t Height() const override { return height; }
  void Move(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override {
    left = l, top = t, width = w, height = h;
  }
  void Maximize() override {}
  std::int32_t ScreenWidth() const override { return 1920 * 15; }
  std::int32_t ScreenHeight() const override { return 1080 * 15; }
  std::int32_t TwipsPerPixelX() const override { return 15; }
  std::int32_t TwipsPerPixelY() const override { return 15; }
  std::int32_t left = 1500, top = 1500, width = 6000, height = 4500;
};

// A restored window lies on the screen, a margin away from its edges, at least its minimum size.
std::string CheckFormPosition(cINI& ini) {
  FakeWindow window;
  constexpr std::int32_t kMinWidth = 3000, kMinHeight = 2000, kMargin = 4 * 15;
  ini.LoadFormPosition(window, kMinWidth, kMinHeight);
  if (window.left < kMargin || window.top < kMargin ||
      std::int64_t{window.left} + window.width > window.ScreenWidth() - kMargin ||
      std::int64_t{window.top} + window.height > window.ScreenHeight() - kMargin ||
      window.width < kMinWidth || window.height < kMinHeight) {
    return "a restored window is off screen: " + std::to_string(window.left) + "," +
           std::to_string(window.top) + " " + std::to_string(window.width) + "x" +
           std::to_string(window.height);
  }
  return {};
}

// The whole-number reading and its 32-bit form agree.
std::string CheckNumber(const std::string& text) {
  const std::optional<std::int64_t> number = cINI::ParseWholeNumber(text);
  const bool fits = number && *number >= INT32_MIN && *number <= INT32_MAX;
  if (cINI::CLngDefault(text, 7) != (fits ? static_cast<std::int32_t>(*number) : 7)) {
    return "CLngDefault differs from ParseWholeNumber for " + Quoted(text);
  }
  return {};
}

// cINI reads the file the way the document does, names cut at a NUL.
std::string CheckCini(const std::string& text, const std::string& path) {
  WriteBytes(path, text);
  const IniDocument doc = IniDocument::Parse(text);
  const std::string missing = "\x01missing";
  cINI ini;
  ini.SetPath(path);
  ini.SetDefault(missing);
  std::vector<std::string> sections;
  std::int32_t sectionCount = 0;
  ini.EnumerateAllSections(sections, sectionCount);
  if (sectionCount < 0 || static_cast<std::size_t>(sectionCount) != sections.size()) {
    return "section count does not match the list";
  }
  if (sections.size() > kMaxNames) sections.resize(kMaxNames);
  for (const std::string& section : sections) {
    ini.SetSection(section);
    std::vector<std::string> keys;
    std::int32_t keyCount = 0;
    ini.EnumerateCurrentSection(keys, keyCount);
    if (keys.size() > kMaxNames) keys.resize(kMaxNames);
    for (const std::string& key : keys) {
      ini.SetKey(key);
      const std::string value = ini.Value();
      if (value != doc.GetValue(section, key).value_or(missing)) {
        return "cINI reads another value for " + Quoted(section) + " " + Quoted(key);
      }
      if (std::string problem = CheckNumber(value); !problem.empty()) return problem;
    }
    if (std::string problem = CheckFormPosition(ini); !problem.empty()) return problem;
  }
  return {};
}

}  // namespace

std::string IniReader(std::string_view input) {
  const std::string folder = FreshDataFolder();
  const std::string text(input);
  if (std::string problem = CheckIniDocument(text, folder + "/document.ini"); !problem.empty()) {
    return problem;
  }
  return CheckCini(text, folder + "/cini.ini");
}

std::string FeedParser(std::string_view input) {
  FreshDataFolder();
  mInbox::SourceID = kSourceID;
  mInbox::RunSummary.clear();
  const std::string feed(input);
  if (!mInbox::ParseFeed(feed, "Fuzz source")) return {};
  const int stored = mInbox::NewMessageCount;

  TreeControl tree("tvMessages");
  tree.Add(kSourceID, "Fuzz source", MessageTreeImage::Source);
  mInbox::LoadInbox(tree);
  const TreeControl::Node* source = tree.Find(kSourceID);
  if (!source) return "the source node went away";
  if (source->ChildCount() != static_cast<std::size_t>(stored)) {
    return std::to_string(stored) + " messages stored, " + std::to_string(source->ChildCount()) +
           " shown";
  }

  // Every shown message opens, takes a read mark and can be deleted.
  for (std::size_t row = 0; row < std::min<std::size_t>(source->ChildCount(), 8); ++row) {
    const std::string guid = source->Child(row)->Tag();
    mInbox::CurrentItem = {};
    mInbox::CurrentItem.guid = guid;
    if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load))) {
      return "a shown message does not load: " + Quoted(guid);
    }
    if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::MarkRead)) ||
        !mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Load)) ||
        mInbox::CurrentItem.read != 1) {
      return "a message does not keep its read mark: " + Quoted(guid);
    }
  }
  if (source->ChildCount() > 0) {
    mInbox::CurrentItem = {};
    mInbox::CurrentItem.guid = source->Child(0)->Tag();
    if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Delete)) ||
        mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Exists))) {
      return "a message is not deleted: " + Quoted(mInbox::CurrentItem.guid);
    }
    // Deleted, so the next check brings it once more.
    if (!mInbox::ParseFeed(feed, "Fuzz source") || mInbox::NewMessageCount != 1) {
      return "a deleted message came back " + std::to_string(mInbox::NewMessageCount) + " times";
    }
  }

  // The same feed checked again brings nothing new.
  if (!mInbox::ParseFeed(feed, "Fuzz source")) return "the second check of a feed failed";
  if (mInbox::NewMessageCount != 0) {
    return "the second check stored " + std::to_string(mInbox::NewMessageCount) + " again";
  }
  return {};
}

std::string MessageHeader(std::string_view input) {
  const MessageRendering::MessageHeader header = MessageRendering::ParseMessageHeader(input);
  if (header.Body.size() > input.size()) return "the body is longer than the description";
  const std::string page =
      MessageRendering::RenderPage("<b>FN</b> FEML DT RT REML <i>SL</i><div>DESC</div>", header);
  if (page.empty()) return "an empty page";
  MessageRendering::ShortenTitle(input);
  return {};
}

std::string PubDate(std::string_view input) {
  const mInbox::PubDateParts parts = mInbox::SplitPubDate(input);
  // The parts are cut from the text, never made up.
  for (const std::string* part : {&parts.date, &parts.time, &parts.zone}) {
    if (input.find(*part) == std::string_view::npos) {
      return "part " + Quoted(*part) + " is not in the text";
    }
  }
  mInbox::DayNumber(input);
  mInbox::DayNumber(parts.date);
  return {};
}

std::string Subscriptions(std::string_view input) {
  const std::string folder = FreshDataFolder();
  WriteBytes(folder + "/subscriptions.dat", input);
  std::vector<mSubscriptions::MessageSource> sources;
  const bool read = mSubscriptions::ReadSources(sources);

  TreeControl list("tvSources");
  if (mSubscriptions::LoadSubscriptions(list) != read) return "the list loaded differently";
  TreeControl messages("tvMessages");
  if (mSubscriptions::LoadSubscriptions(messages) != read) return "the tree loaded differently";

  if (!sources.empty()) {
    mSubscriptions::CurrentSource = {};
    mSubscriptions::CurrentSource.Link = sources.front().Link;
    if (!mSubscriptions::ManageSource(mSubscriptions::SourceAction::Exists)) {
      return "a source that was read is not found by its link " + Quoted(sources.front().Link);
    }
  }
  return {};
}

}  // namespace FuzzEntries
