// qp_crash_probe: the kill test's hands and eyes (tests/crash/check_kill_test.sh), built on the
// program's own readers and writers. Exit status 0 when all went well, 1 with a message.
//   rewrite FILE [COUNT]    flips m500's description (4096 a's or b's) through cINI COUNT
//                           times (or forever)
//   feeds FOLDER COUNT ROUND WINDOW   feed-01.xml .. feed-COUNT.xml, items ROUND-WINDOW+1 .. ROUND
//   dump DATA SOURCES       checks the data folder; "source<TAB>guid<TAB>read" lines, sorted
//   flip DATA SOURCES COUNT SEED      dump after flipping COUNT random read flags
//   delete DATA SOURCES COUNT SEED    deletes COUNT random messages as the reader does; prints
//                                     "source<TAB>guid" of each
//   archive DATA SOURCES MESSAGES SEED  a data folder of words to search ("zebracorn" in every
//                                     seventh message), dated and undated, read and unread
//   scan DATA WORD [unread]           what a search for the word must print, found by reading
//                                     the inboxes plainly: "YYYY-MM-DD<TAB>source<TAB>title"
//   counts DATA CACHE       every count the counts cache CACHE still vouches for agrees with the
//                           inbox; prints how many it vouches for
//   recount DATA CACHE      counts every inbox into CACHE, as a reader's start does

#include "config/IniDocument.h"
#include "config/cINI.h"
#include "core/AtomicFile.h"
#include "core/PosixServices.h"
#include "core/mAppFunctions.h"
#include "inbox/InboxTree.h"
#include "inbox/UnreadCounts.h"
#include "inbox/mInbox.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& text) {
  std::cerr << "qp_crash_probe: " << text << "\n";
  return 1;
}

int Rewrite(const std::string& path, long count) {
  cINI ini;
  ini.SetPath(path);
  ini.SetSection("m500");
  ini.SetKey("description");
  char fill = ini.Value() == std::string(4096, 'a') ? 'a' : 'b';
  for (long n = 0; count < 0 || n < count; ++n) {
    fill = fill == 'a' ? 'b' : 'a';
    std::string next(4096, fill);
    ini.SetValue(next);
    if (!ini.Success()) return Fail("cannot rewrite " + path);
  }
  return 0;
}

int WriteFeeds(const std::string& folder, int count, int round, int window) {
  for (int feed = 1; feed <= count; ++feed) {
    char name[32];
    std::snprintf(name, sizeof name, "feed-%02d", feed);
    std::string xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Letter " +
                      std::string(name) + "</title>\n";
    for (int item = std::max(1, round - window + 1); item <= round; ++item) {
      char date[64];
      std::snprintf(date, sizeof date, "Sat, %02d Dec 2026 %02d:%02d:00 GMT", 1 + item % 28,
                    item % 24, item % 60);
      xml += "<item><title>Issue " + std::to_string(item) + "</title><guid>" + name + "-" +
             std::to_string(item) + "</guid><pubDate>" + date + "</pubDate><description><p>" +
             std::string(2500, char('a' + item % 26)) + "</p></description></item>\n";
    }
    std::error_code ec;
    if (!AtomicFile::Replace(folder + "/" + name + ".xml", xml + "</channel></rss>\n", ec))
      return Fail("cannot write " + std::string(name) + ": " + ec.message());
  }
  return 0;
}

// Checks that subscriptions.dat lists the sources and every inbox is whole (a missing one is
// empty: the source was never checked), flips read flags, saves and prints the listing.
int Dump(const std::string& data, std::size_t expected, int flips, unsigned seed) {
  pugi::xml_document document;
  if (const auto result = document.load_file((data + "/subscriptions.dat").c_str()); !result)
    return Fail(std::string("subscriptions.dat does not parse: ") + result.description());
  std::vector<std::string> ids;
  for (const auto& source : document.child("sources").children("source"))
    ids.push_back(source.attribute("id").value());
  if (ids.size() != expected) return Fail("subscriptions.dat lists " + std::to_string(ids.size()));
  const auto path = [&](std::size_t i) { return data + "/" + ids[i] + "/inbox.dat"; };
  std::vector<IniDocument> inboxes;
  std::vector<std::pair<std::size_t, std::string>> messages;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    std::error_code ec;
    inboxes.push_back(IniDocument::Load(path(i), ec));
    const std::string text = inboxes[i].Serialize();
    if (ec || (!text.empty() && text.back() != '\n')) return Fail(path(i) + " is cut");
    // The read flag comes last: a message cut anywhere lacks it.
    for (const std::string& guid : inboxes[i].SectionNames()) {
      if (const auto read = inboxes[i].GetValue(guid, "read"); read != "0" && read != "1")
        return Fail(path(i) + ": " + guid + " has no read flag");
      messages.emplace_back(i, guid);
    }
  }
  std::shuffle(messages.begin(), messages.end(), std::mt19937(seed));
  std::set<std::size_t> changed;
  for (int n = 0; n < flips && n < int(messages.size()); ++n) {
    const auto& [i, guid] = messages[std::size_t(n)];
    inboxes[i].SetValue(guid, "read", inboxes[i].GetValue(guid, "read") == "1" ? "0" : "1");
    changed.insert(i);
  }
  for (const std::size_t i : changed)
    if (!inboxes[i].Save(path(i))) return Fail("cannot save " + path(i));
  std::vector<std::string> lines;
  for (const auto& [i, guid] : messages)
    lines.push_back(ids[i] + "\t" + guid + "\t" + *inboxes[i].GetValue(guid, "read"));
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) std::cout << line << "\n";
  return std::cout.flush() ? 0 : Fail("cannot write the listing");
}

int Delete(const std::string& data, int count, unsigned seed) {
  pugi::xml_document document;
  if (!document.load_file((data + "/subscriptions.dat").c_str())) return Fail("no subscriptions");
  std::vector<std::pair<std::string, std::string>> messages;
  for (const auto& source : document.child("sources").children("source")) {
    mInbox::SourceID = source.attribute("id").value();
    std::error_code ec;
    for (const std::string& guid : IniDocument::ReadSectionNames(mInbox::InboxPath(), ec))
      messages.emplace_back(mInbox::SourceID, guid);
  }
  std::shuffle(messages.begin(), messages.end(), std::mt19937(seed));
  for (int n = 0; n < count && n < int(messages.size()); ++n) {
    mInbox::SourceID = messages[std::size_t(n)].first;
    mInbox::CurrentItem.guid = messages[std::size_t(n)].second;
    if (!mInbox::ManageInboxItem(static_cast<int>(mInbox::InboxAction::Delete)))
      return Fail("cannot delete " + mInbox::CurrentItem.guid);
    std::cout << mInbox::SourceID << "\t" << mInbox::CurrentItem.guid << "\n";
  }
  return std::cout.flush() ? 0 : Fail("cannot write the listing");
}

int Archive(const std::string& data, int sources, int messages, unsigned seed) {
  std::mt19937 random(seed);
  const char* words[] = {"market", "garden", "bread", "river", "letter", "winter", "the", "and"};
  std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sources>\r\n";
  for (int s = 0; s < sources; ++s) {
    char id[40];
    std::snprintf(id, sizeof id, "%08X-0000-4000-8000-%012X", unsigned(random()), unsigned(s));
    list += "<source id=\"" + std::string(id) + "\" title=\"Letters " + std::to_string(s) +
            "\">http://127.0.0.1:1/" + std::to_string(s) + ".xml</source>\r\n";
    std::string inbox;
    for (int m = 0; m < messages; ++m) {
      std::string body;
      for (int w = 0; w < 120; ++w) body += std::string(words[random() % std::size(words)]) + " ";
      if ((s * messages + m) % 7 == 0) body += "zebracorn";
      char date[32] = "";
      if (m % 11 != 0)
        std::snprintf(date, sizeof date, "Sat, %02d %s 202%d", 1 + m % 28,
                      (const char*[]){"Jan", "Jun", "Dec"}[m % 3], m % 6);
      inbox += "[m" + std::to_string(m) + "@" + id + "]\r\ntitle=Note " + std::to_string(m) +
               "\r\ndescription=<p>" + body + "</p>\r\ndate=" + date + "\r\ntime=0" +
               std::to_string(m % 10) + ":00:00\r\noffset=GMT\r\nread=" +
               (random() % 3 == 0 ? "1" : "0") + "\r\n";
    }
    std::filesystem::create_directories(data + "/" + id);
    std::ofstream(data + "/" + id + "/inbox.dat", std::ios::binary) << inbox;
  }
  std::ofstream(data + "/subscriptions.dat", std::ios::binary) << list << "</sources>\r\n";
  return 0;
}

// Words as runs of ASCII letters and digits, in lower case; tags are no words of the text.
bool HoldsWord(const std::string& text, const std::string& word) {
  std::string current;
  bool tag = false;
  for (const char c : text + " ") {
    if (c == '<') tag = true;
    if (!tag && std::isalnum(static_cast<unsigned char>(c))) {
      current += char(std::tolower(static_cast<unsigned char>(c)));
    } else {
      if (current == word) return true;
      current.clear();
    }
    if (c == '>') tag = false;
  }
  return false;
}

int Scan(const std::string& data, const std::string& word, bool unreadOnly) {
  pugi::xml_document document;
  if (!document.load_file((data + "/subscriptions.dat").c_str())) return Fail("no subscriptions");
  std::set<std::string> ids;
  for (const auto& source : document.child("sources").children("source")) {
    const std::string id = source.attribute("id").value();
    if (!ids.insert(id).second) continue;
    std::error_code ec;
    const IniDocument inbox = IniDocument::Load(data + "/" + id + "/inbox.dat", ec);
    for (const std::string& guid : inbox.SectionNames()) {
      const auto value = [&](const char* key) { return inbox.GetValue(guid, key).value_or(""); };
      if (unreadOnly && cINI::CLngDefault(value("read"), 0) == 1) continue;
      if (!HoldsWord(value("title") + " " + value("description"), word)) continue;
      std::string day;
      if (const auto number = mInbox::DayNumber(value("date"))) {
        const std::chrono::year_month_day date{std::chrono::sys_days{
            std::chrono::days{*number + 10957}}};
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(date.year()),
                      unsigned(date.month()), unsigned(date.day()));
        day = text;
      }
      std::cout << day << "\t" << source.attribute("title").value() << "\t" << value("title")
                << "\n";
    }
  }
  return std::cout.flush() ? 0 : Fail("cannot write the listing");
}

// A cache a kill left behind may be older than the inboxes, never wrong about them.
int Counts(const std::string& data, const std::string& cache, bool recount) {
  PosixServices::FileStamps stamps;
  Services::Current().fileStamps = &stamps;
  pugi::xml_document document;
  if (!document.load_file((data + "/subscriptions.dat").c_str())) return Fail("no subscriptions");
  std::vector<std::string> ids;
  for (const auto& source : document.child("sources").children("source"))
    ids.push_back(source.attribute("id").value());
  mInbox::UnreadCounts counts(data, cache);
  counts.SetCounting(recount);
  counts.SetSources(ids);
  if (recount)
    return counts.WaitUntilCounted(std::chrono::minutes(1)) && counts.Save() ? 0
                                                                            : Fail("cannot count");
  for (const std::string& id : ids) {
    const auto known = counts.Find(id);
    if (known && *known != mInbox::CountInboxFile(data + "/" + id + "/inbox.dat"))
      return Fail("the counts cache is wrong about " + id);
  }
  std::cout << ids.size() - counts.Pending() << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  const auto n = [&a](std::size_t i) { return std::stoi(a[i]); };
  if ((a.size() == 2 || a.size() == 3) && a[0] == "rewrite")
    return Rewrite(a[1], a.size() == 3 ? n(2) : -1);
  if (a.size() == 5 && a[0] == "feeds") return WriteFeeds(a[1], n(2), n(3), n(4));
  if (a.size() == 3 && a[0] == "dump") return Dump(a[1], n(2), 0, 0);
  if (a.size() == 5 && a[0] == "flip") return Dump(a[1], n(2), n(3), static_cast<unsigned>(n(4)));
  if (a.size() == 5 && a[0] == "delete") {
    mAppFunctions::DataPath = a[1];
    return Delete(a[1], n(3), static_cast<unsigned>(n(4)));
  }
  if (a.size() == 5 && a[0] == "archive")
    return Archive(a[1], n(2), n(3), static_cast<unsigned>(n(4)));
  if ((a.size() == 3 || a.size() == 4) && a[0] == "scan")
    return Scan(a[1], a[2], a.size() == 4 && a[3] == "unread");
  if (a.size() == 3 && (a[0] == "counts" || a[0] == "recount"))
    return Counts(a[1], a[2], a[0] == "recount");
  return Fail(
      "usage: rewrite FILE [COUNT] | feeds FOLDER COUNT ROUND WINDOW | "
      "dump DATA SOURCES | flip DATA SOURCES COUNT SEED | delete DATA SOURCES COUNT SEED | "
      "archive DATA SOURCES MESSAGES SEED | scan DATA WORD [unread] | "
      "counts DATA CACHE | recount DATA CACHE");
}
