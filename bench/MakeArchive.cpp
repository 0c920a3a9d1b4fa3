// qp_make_archive DATA_FOLDER SOURCES MESSAGES [SEED]: writes a data folder as years of
// newsletters leave it: subscriptions.dat and SOURCES inboxes of MESSAGES messages each, in the
// program's own file formats. Every message has the service's header block, an HTML body of
// about a kilobyte of words drawn from a fixed vocabulary with the skew of real text, a date in
// the last six years (one in 200 undated) and a read flag (one in ten unread). Known words with
// known counts let benchmarks and tests ask questions with known answers:
//   "zebracorn"  in exactly one message of every 1,000 (so 1,000 at a million messages)
//   "quillion"   in exactly one message of the whole archive, the last message of the last source
//   "the"        in every message
//   "Café Crème" (a phrase with accents) in one message of every 250
//   "vortexlink" only inside a link's address, in one message of every 1,000: grep finds it,
//                a search must not (the page does not show it)
//   "preheader"  only in text hidden by an inline style, in one message of every 10
// Every message ends in a footer of links with tracking addresses, as newsletters do.
// The same arguments always give the same bytes.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Civil date of a day count since 1970-01-01 (Howard Hinnant's algorithm).
void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

std::string DateText(std::int64_t day) {
  int y;
  unsigned m, d;
  CivilFromDays(day, y, m, d);
  char text[32];
  std::snprintf(text, sizeof text, "%s, %02u %s %d", kDays[((day % 7) + 7) % 7], d, kMonths[m - 1],
                y);
  return text;
}

std::string Uuid(std::mt19937_64& random) {
  static const char* digits = "0123456789ABCDEF";
  std::string id;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) id += '-';
    id += digits[random() & 15];
  }
  return id;
}

// Pronounceable words, the first ones the most frequent.
std::vector<std::string> Vocabulary(std::mt19937_64& random, std::size_t size) {
  static const char* syllables[] = {"ba", "ke",  "lo",  "mi",  "nu",  "ra",   "se",
                                    "ti", "vo",  "wa",  "an",  "er",  "in",   "on",
                                    "ul", "pre", "str", "gar", "den", "bre",  "ad",
                                    "ch", "ol",  "ver", "mar", "ket", "wint", "sum"};
  std::vector<std::string> words = {"and",    "of",    "to",    "in",     "is",
                                    "for",    "on",    "with",  "at",     "market",
                                    "garden", "bread", "river", "letter", "winter"};
  while (words.size() < size) {
    std::string word;
    const int parts = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < parts; ++i) word += syllables[random() % std::size(syllables)];
    words.push_back(word);
  }
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: qp_make_archive DATA_FOLDER SOURCES MESSAGES [SEED]\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const long sources = std::stol(argv[2]);
  const long messages = std::stol(argv[3]);
  std::mt19937_64 random(argc > 4 ? std::stoull(argv[4]) : 20261207);
  const std::vector<std::string> words = Vocabulary(random, 20'000);
  // Zipf-like: the index of a word is the square of a uniform number, scaled.
  auto word = [&]() -> const std::string& {
    const double u = std::uniform_real_distribution<double>(0, 1)(random);
    return words[static_cast<std::size_t>(u * u * u * (words.size() - 1))];
  };
  const std::int64_t today = 20'429;  // 2025-12-07 and back
  std::filesystem::create_directories(folder);
  std::string subscriptions = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<sources>\r\n";
  long serial = 0;
  for (long s = 0; s < sources; ++s) {
    const std::string id = Uuid(random);
    char title[64];
    std::snprintf(title, sizeof title, "Letters %03ld", s + 1);
    subscriptions += "<source id=\"" + id + "\" title=\"" + title +
                     "\">http://news.quillpost.test/letters/" + std::to_string(s + 1) +
                     ".xml</source>\r\n";
    std::filesystem::create_directories(folder / id);
    std::string inbox;
    inbox.reserve(static_cast<std::size_t>(messages) * 1400);
    for (long m = 0; m < messages; ++m, ++serial) {
      const bool last = s == sources - 1 && m == messages - 1;
      std::string subject = word() + " " + word() + " " + word();
      subject[0] = static_cast<char>(subject[0] - 'a' + 'A');
      std::string body = "<h2>" + subject + "</h2><p>the";
      for (int i = 0; i < 90; ++i) {
        body += ' ';
        body += word();
        if (i % 15 == 14) body += ".</p><p>the";
      }
      if (serial % 1000 == 500) body += " zebracorn";
      if (serial % 250 == 100) body += " Café Crème";
      if (last) body += " quillion";
      body += ".</p>";
      if (serial % 10 == 3)
        body = "<div style=\"display:none;max-height:0;overflow:hidden\">preheader " + subject +
               "</div>" + body;
      const std::string tracking = "?m=" + std::to_string(serial) + "&amp;utm_source=letter" +
                                   (serial % 1000 == 700 ? "&amp;ref=vortexlink" : "");
      body += "<p><a href=\"https://news.quillpost.test/share" + tracking +
              "\">Share</a> | <a href=\"https://news.quillpost.test/unsubscribe" + tracking +
              "\">Unsubscribe</a></p>";
      const std::int64_t day = today - static_cast<std::int64_t>(random() % (6 * 365));
      const bool undated = random() % 200 == 0;
      char time[16];
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(random() % 24),
                    static_cast<int>(random() % 60), static_cast<int>(random() % 60));
      const std::string date = undated ? "" : DateText(day);
      inbox += "[msg-" + std::to_string(serial) + "@news.quillpost.test]\r\n";
      inbox += "title=" + subject + "\r\n";
      inbox += "description=<!-- header start: <p>From: &quot;" + std::string(title) +
               " Desk&quot; &lt;desk@news.quillpost.test&gt;</p><p>Subject: " + subject +
               "</p><p>Date: " + date + "</p><p>Reply-To: &quot;Desk&quot; " +
               "&lt;desk@news.quillpost.test&gt;</p>header end -->{letter}" + body + "\r\n";
      inbox += "date=" + date + "\r\n";
      inbox += "time=" + std::string(undated ? "" : time) + "\r\n";
      inbox += "offset=" + std::string(undated ? "" : "GMT") + "\r\n";
      inbox += std::string("read=") + (random() % 10 == 0 ? "0" : "1") + "\r\n";
    }
    std::ofstream(folder / id / "inbox.dat", std::ios::binary) << inbox;
  }
  subscriptions += "</sources>\r\n";
  std::ofstream(folder / "subscriptions.dat", std::ios::binary) << subscriptions;
  return 0;
}
