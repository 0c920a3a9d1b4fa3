#include "retrieval/Charset.h"
#include "retrieval/Download.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Charset::Decode;
using Charset::DecodeToUtf8;
using Charset::Detect;
using Download::TranslateINetState;

// Where the text first breaks UTF-8 (overlong, surrogate, out of range, cut short); npos when
// it is valid.
std::size_t FirstInvalidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int need = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      need = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      need = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      need = 3;
      cp = lead & 0x07;
    } else {
      return i;
    }
    if (i + need >= text.size()) return i;
    for (int k = 1; k <= need; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += need + 1;
  }
  return std::string::npos;
}

TEST(TranslateINetState, EachStateHasItsTextAndOtherNumbersClear) {
  const std::vector<std::pair<int, std::string>> table = {
      {1, "Resolving Host Route..."},
      {2, "Done! Connecting Gateway..."},
      {3, "Done! Authentication in progress..."},
      {4, "Done! Opening Session..."},
      {5, "Done! Sending Status Request..."},
      {6, "Request Sent! Waiting for Server reply..."},
      {7, "Info Chunk received! Buffering..."},
      {8, "Acknowledgement sent..."},
      {9, "Done! Releasing Session..."},
      {10, "Done! Parsing Data ..."},
      {11, "Error in reading Server Response!"},
      {12, "Server Communication complete."},
      {0, ""},
      {13, ""},
      {-1, ""},
      {65537, ""},
  };
  for (const auto& [state, text] : table) EXPECT_EQ(TranslateINetState(state), text) << state;
}

TEST(INetStateFromInt, AcceptsOnlyTheTwelveStates) {
  EXPECT_EQ(Download::INetStateFromInt(7), Download::INetState::ReceivingResponse);
  EXPECT_EQ(Download::INetStateFromInt(12), Download::INetState::ResponseCompleted);
  EXPECT_EQ(Download::INetStateFromInt(0), std::nullopt);
  EXPECT_EQ(Download::INetStateFromInt(13), std::nullopt);
}

struct CharsetCase {
  const char* name;
  std::string bytes;
  std::string contentType;
  std::string expected;
};

TEST(DetectCharset, PicksMarkThenHeaderThenDeclaration) {
  const std::string decl1251 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss/>";
  const std::vector<CharsetCase> cases = {
      {"HeaderOverDeclaration", decl1251, "text/xml; charset=ISO-8859-1", "iso-8859-1"},
      {"QuotedHeaderValue", "<rss/>", "application/rss+xml;Charset=\"KOI8-R\"", "koi8-r"},
      {"HeaderAmongParameters", "<rss/>", "text/xml; q=1; charset = cp1251 ;x=y", "cp1251"},
      {"MarkOverHeader", "\xEF\xBB\xBF<rss/>", "text/xml; charset=windows-1251", "utf-8"},
      {"Utf16LeMark", std::string("\xFF\xFE<\0", 4), "", "utf-16le"},
      {"Utf16BeMark", std::string("\xFE\xFF\0<", 4), "text/xml; charset=latin1", "utf-16be"},
      {"DeclarationWithoutHeader", decl1251, "text/xml", "windows-1251"},
      {"SingleQuotedDeclaration", "<?xml version='1.0' encoding='ISO-8859-15'?><a/>", "",
       "iso-8859-15"},
      {"NothingMeansUtf8", "<rss/>", "", "utf-8"},
      {"Utf16WithoutMarkByItsZeros", std::string("<\0?\0x\0", 6), "", "utf-16le"},
      {"BareUtf16HeaderOverAsciiBytes", decl1251, "text/xml; charset=utf-16", "windows-1251"},
      {"Utf16DeclarationOverAsciiBytes", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>", "",
       "utf-8"},
      {"GarbageHeaderValueIgnored", "<rss/>", "text/xml; charset=\"a b<c\"", "utf-8"},
      {"UnknownLabelPassedOn", "<rss/>", "text/xml; charset=Shift_JIS", "shift_jis"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Detect(c.bytes, c.contentType), c.expected) << c.name;
  }
}

TEST(DecodeToUtf8, SingleByteCharsetsDecodeByTheirTables) {
  const std::vector<CharsetCase> cases = {
      {"Windows1251", "\xCF\xF0\xE8\xE2\xE5\xF2", "text/xml; charset=windows-1251", "Привет"},
      {"Koi8R", "\xF0\xD2\xC9\xD7\xC5\xD4", "text/xml; charset=koi8-r", "Привет"},
      {"Koi8U", "\xBD", "text/xml; charset=koi8-u", "Ґ"},
      {"Windows1250", "\x8Elu\x9Dou\xE8k\xFD", "text/xml; charset=windows-1250", "Žluťoučký"},
      {"Iso8859_15Euro", "\xA4", "text/xml; charset=iso-8859-15", "€"},
      {"Latin1Letters", "caf\xE9 \xFC", "text/xml; charset=ISO-8859-1", "café ü"},
      // Feeds labelled Latin-1 carry windows-1252 quotes; browsers read them so too.
      {"Latin1LabelReadsWindowsQuotes", "\x93hi\x94 \x80", "text/xml; charset=iso-8859-1",
       "“hi” €"},
      {"AsciiLabelStillReadsHighBytes", "\xE9", "text/xml; charset=us-ascii", "é"},
      {"UndefinedByteIsItsControl", "\x81", "text/xml; charset=windows-1252", "\xC2\x81"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeToUtf8(c.bytes, c.contentType), c.expected) << c.name;
}

TEST(DecodeToUtf8, Utf16DecodesPairsAndRepairsBrokenUnits) {
  const std::vector<CharsetCase> cases = {
      {"LittleEndianWithMarkDropped", std::string("\xFF\xFEh\0\x3F\x04", 6), "", "hп"},
      {"BigEndianPair", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6), "", "😀"},
      {"LoneHighSurrogate",
       std::string("\xFF\xFE\x3D\xD8"
                   "a\0",
                   6),
       "", "\uFFFDa"},
      {"LoneLowSurrogate", std::string("\xFF\xFE\x00\xDE", 4), "", "\uFFFD"},
      {"OddLastByte",
       std::string("\xFF\xFE"
                   "a\0b",
                   5),
       "", "a\uFFFD"},
      {"NulUnit", std::string("\xFF\xFE\0\0", 4), "", "\uFFFD"},
      {"HeaderOrderWithoutMark", std::string("a\0", 2), "text/xml; charset=utf-16le", "a"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeToUtf8(c.bytes, c.contentType), c.expected) << c.name;
}

TEST(DecodeToUtf8, BrokenUtf8IsRepairedWithReplacementCharacters) {
  const std::vector<CharsetCase> cases = {
      {"ValidPassesUnchanged", "Grüße 😀 €", "", "Grüße 😀 €"},
      {"MarkDropped", "\xEF\xBB\xBF<rss/>", "", "<rss/>"},
      {"CutSequenceThenAscii", "a\xC3(b", "", "a\uFFFD(b"},
      {"LoneContinuation", "\x80x", "", "\uFFFDx"},
      {"OverlongSlash", "\xC0\xAF", "", "\uFFFD\uFFFD"},
      {"EncodedSurrogate", "\xED\xA0\x80", "", "\uFFFD\uFFFD\uFFFD"},
      {"PastLastCodePoint", "\xF4\x90\x80\x80", "", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"CutAtTheEnd", "ok\xE2\x82", "", "ok\uFFFD"},
      {"NulWouldEndTheParsersString", std::string("a\0b", 3), "", "a\uFFFDb"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeToUtf8(c.bytes, c.contentType), c.expected) << c.name;
}

TEST(DecodeToUtf8, DeclarationNamesUtf8AfterDecoding) {
  EXPECT_EQ(DecodeToUtf8("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", ""),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>é</a>");
  EXPECT_EQ(DecodeToUtf8("<?xml version='1.0' encoding = 'cp1251' standalone='yes'?><a/>",
                         "text/xml; charset=utf-8"),
            "<?xml version='1.0' encoding = 'UTF-8' standalone='yes'?><a/>");
  // Text that only mentions an encoding further on stays as it is.
  EXPECT_EQ(DecodeToUtf8("<rss><title>encoding=\"latin1\"?></title></rss>", ""),
            "<rss><title>encoding=\"latin1\"?></title></rss>");
}

TEST(DecodeAs, UnknownCharsetReadsAsUtf8) {
  EXPECT_EQ(Decode("é\xFF", "x-no-such-charset"), "é\uFFFD");
  EXPECT_EQ(Charset::IsSupported(" Windows-1251 "), true);
  EXPECT_EQ(Charset::IsSupported("shift_jis"), false);
}

TEST(DecodeAs, RandomBytesGiveValidUtf8WithoutNulInEveryCharset) {
  std::mt19937 random(20240607);
  std::string bytes(64 * 1024, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  for (const char* charset :
       {"utf-8", "utf-16", "utf-16le", "utf-16be", "windows-1252", "windows-1251", "windows-1250",
        "iso-8859-15", "iso-8859-2", "koi8-r", "koi8-u"}) {
    const std::string text = Decode(bytes, charset);
    EXPECT_EQ(FirstInvalidUtf8(text), std::string::npos) << charset;
    EXPECT_EQ(text.find('\0'), std::string::npos) << charset;
  }
}

}  // namespace
