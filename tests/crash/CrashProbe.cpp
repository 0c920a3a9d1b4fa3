// qp_crash_probe: the crash test's hands and eyes, built on the program's own readers and writer.
//
//   qp_crash_probe feeds FOLDER COUNT ROUND WINDOW
//       writes feed-01.xml .. feed-COUNT.xml, each with the items ROUND-WINDOW+1 .. ROUND (newest
//       last) whose descriptions are a few kilobytes; every file through an atomic replace.
//   qp_crash_probe dump DATA SOURCES
//       checks that DATA/subscriptions.dat parses and lists SOURCES sources, and that every
//       source's inbox.dat is whole (ends with a line end, every message has all its keys and a
//       read flag of 0 or 1); prints "source<TAB>guid<TAB>read" for every message, sorted.
//   qp_crash_probe flip DATA SOURCES COUNT SEED
//       checks as dump does, flips the read flag of COUNT messages picked at random, saves each
//       changed inbox atomically and prints the listing as dump would now.
// Exit status 0 when all went well, 1 with a message on standard error otherwise.

#include "config/IniDocument.h"
#include "core/AtomicFile.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kKeys[] = {"title", "description", "date", "time", "offset", "read"};

int Fail(const std::string& text) {
  std::cerr << "qp_crash_probe: " << text << "\n";
  return 1;
}

const char* const kWords[] = {"river",  "market", "lantern", "harvest", "council", "bridge",
                              "window", "garden", "letter",  "morning", "station", "winter",
                              "street", "choir",  "bakery",  "library", "meadow",  "ferry"};

std::string Paragraphs(std::uint64_t seed, std::size_t bytes) {
  std::mt19937_64 generator(seed);
  std::string text = "<p>";
  while (text.size() < bytes) {
    text += kWords[generator() % std::size(kWords)];
    text += (generator() % 12 == 0) ? ".</p><p>" : " ";
  }
  return text + "</p>";
}

int WriteFeeds(const std::string& folder, int count, int round, int window) {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  for (int feed = 1; feed <= count; ++feed) {
    char name[32];
    std::snprintf(name, sizeof name, "feed-%02d", feed);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><rss version=\"2.0\"><channel><title>";
    xml += std::string("Letter ") + name + "</title><link>http://news.quillpost.test/" + name +
           "</link><description>Crash test feed</description>\n";
    for (int item = std::max(1, round - window + 1); item <= round; ++item) {
      const std::string guid = std::string(name) + "-" + std::to_string(item);
      char date[64];
      std::snprintf(date, sizeof date, "%s, %02d Dec 2026 %02d:%02d:00 GMT", kDays[item % 7],
                    1 + item % 28, item % 24, item % 60);
      xml += "<item><title>Issue " + std::to_string(item) + " of " + name + "</title>";
      xml += "<guid isPermaLink=\"false\">" + guid + "</guid><pubDate>" + date + "</pubDate>";
      xml +=
          "<description><![CDATA[<!-- header start: <p>From: &quot;Desk&quot; "
          "&lt;desk@news.quillpost.test&gt;</p><p>Subject: Issue " +
          std::to_string(item) + "</p>header end -->" +
          Paragraphs(static_cast<std::uint64_t>(feed) * 100000 + item, 2500) +
          "]]></description></item>\n";
    }
    xml += "</channel></rss>\n";
    std::error_code ec;
    if (!AtomicFile::Replace(folder + "/" + name + ".xml", xml, ec))
      return Fail("cannot write " + std::string(name) + ": " + ec.message());
  }
  return 0;
}

// The source identifiers of subscriptions.dat, or a message in error.
std::vector<std::string> Sources(const std::string& data, std::string& error) {
  pugi::xml_document document;
  const auto result = document.load_file((data + "/subscriptions.dat").c_str());
  if (!result) {
    error = std::string("subscriptions.dat does not parse: ") + result.description();
    return {};
  }
  std::vector<std::string> ids;
  for (const auto& source : document.child("sources").children("source"))
    ids.push_back(source.attribute("id").value());
  return ids;
}

std::string InboxPath(const std::string& data, const std::string& id) {
  return data + "/" + id + "/inbox.dat";
}

// Loads an inbox and checks that it is whole. A missing inbox is an empty one.
bool LoadWhole(const std::string& path, IniDocument& document, std::string& error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    document = IniDocument();
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream raw;
  raw << in.rdbuf();
  const std::string text = raw.str();
  if (!in && !in.eof()) {
    error = path + ": cannot be read";
    return false;
  }
  if (!text.empty() && text.back() != '\n') {
    error = path + ": ends in the middle of a line";
    return false;
  }
  document = IniDocument::Load(path, ec);
  if (ec) {
    error = path + ": " + ec.message();
    return false;
  }
  for (const auto& guid : document.SectionNames()) {
    for (const char* key : kKeys) {
      if (!document.HasKey(guid, key)) {
        error = path + ": message " + guid + " lacks " + key;
        return false;
      }
    }
    const auto read = document.GetValue(guid, "read");
    if (read != "0" && read != "1") {
      error = path + ": message " + guid + " has the read flag '" + read.value_or("") + "'";
      return false;
    }
  }
  return true;
}

// Loads the sources and every inbox, checking that all is whole.
bool LoadAll(const std::string& data, std::size_t expected, std::vector<std::string>& ids,
             std::vector<IniDocument>& inboxes, std::string& error) {
  ids = Sources(data, error);
  if (!error.empty()) return false;
  if (ids.size() != expected) {
    error = "subscriptions.dat lists " + std::to_string(ids.size()) + " sources, not " +
            std::to_string(expected);
    return false;
  }
  inboxes.assign(ids.size(), IniDocument());
  for (std::size_t i = 0; i < ids.size(); ++i)
    if (!LoadWhole(InboxPath(data, ids[i]), inboxes[i], error)) return false;
  return true;
}

int PrintListing(const std::vector<std::string>& ids, const std::vector<IniDocument>& inboxes) {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < ids.size(); ++i)
    for (const auto& guid : inboxes[i].SectionNames())
      lines.push_back(ids[i] + "\t" + guid + "\t" + inboxes[i].GetValue(guid, "read").value_or(""));
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) std::cout << line << "\n";
  return std::cout.flush() ? 0 : Fail("cannot write the listing");
}

int Dump(const std::string& data, std::size_t expected) {
  std::vector<std::string> ids;
  std::vector<IniDocument> inboxes;
  std::string error;
  if (!LoadAll(data, expected, ids, inboxes, error)) return Fail(error);
  return PrintListing(ids, inboxes);
}

// Saves through the program's own atomic writer; the listing printed is what was saved.
int Flip(const std::string& data, std::size_t expected, int count, unsigned seed) {
  std::vector<std::string> ids;
  std::vector<IniDocument> inboxes;
  std::string error;
  if (!LoadAll(data, expected, ids, inboxes, error)) return Fail(error);
  std::vector<std::pair<std::size_t, std::string>> messages;
  for (std::size_t i = 0; i < ids.size(); ++i)
    for (const auto& guid : inboxes[i].SectionNames()) messages.emplace_back(i, guid);
  std::mt19937 generator(seed);
  std::shuffle(messages.begin(), messages.end(), generator);
  std::set<std::size_t> changed;
  for (int n = 0; n < count && n < static_cast<int>(messages.size()); ++n) {
    const auto& [inbox, guid] = messages[static_cast<std::size_t>(n)];
    const bool read = inboxes[inbox].GetValue(guid, "read") == "1";
    inboxes[inbox].SetValue(guid, "read", read ? "0" : "1");
    changed.insert(inbox);
  }
  for (const std::size_t i : changed) {
    std::error_code ec;
    if (!inboxes[i].Save(InboxPath(data, ids[i]), ec))
      return Fail("cannot save the inbox of " + ids[i] + ": " + ec.message());
  }
  return PrintListing(ids, inboxes);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 5 && args[0] == "feeds")
    return WriteFeeds(args[1], std::stoi(args[2]), std::stoi(args[3]), std::stoi(args[4]));
  if (args.size() == 3 && args[0] == "dump")
    return Dump(args[1], static_cast<std::size_t>(std::stoul(args[2])));
  if (args.size() == 5 && args[0] == "flip")
    return Flip(args[1], static_cast<std::size_t>(std::stoul(args[2])), std::stoi(args[3]),
                static_cast<unsigned>(std::stoul(args[4])));
  return Fail(
      "usage: feeds FOLDER COUNT ROUND WINDOW | dump DATA SOURCES | flip DATA SOURCES COUNT SEED");
}
