#include "core/Utf8.h"
#include "retrieval/Charset.h"
#include "retrieval/Download.h"

#include "support/DataFolder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct CharsetCase {
  const char* name;
  std::string bytes;
  std::string contentType;
  std::string expected;
};

}  // namespace

TEST(Download, EachOfTheTwelveStatesHasItsTextAndOtherNumbersNone) {
  std::string texts;
  for (const int state : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 65537}) {
    texts += Download::TranslateINetState(state) + "|";
    const bool known = state >= 1 && state <= 12;
    EXPECT_EQ(static_cast<int>(Download::INetStateFromInt(state).value_or(Download::INetState{})),
              known ? state : 0);
  }
  EXPECT_EQ(texts,
            "||Resolving Host Route...|Done! Connecting Gateway...|Done! Authentication in "
            "progress...|Done! Opening Session...|Done! Sending Status Request...|Request Sent! "
            "Waiting for Server reply...|Info Chunk received! Buffering...|Acknowledgement sent..."
            "|Done! Releasing Session...|Done! Parsing Data ...|Error in reading Server Response!|"
            "Server Communication complete.|||");
}

TEST(Charset, DetectPicksMarkThenHeaderThenDeclaration) {
  const std::string decl1251 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><rss/>";
  const std::vector<CharsetCase> cases = {
      {"HeaderOverDeclaration", decl1251, "text/xml; charset=ISO-8859-1", "iso-8859-1"},
      {"QuotedHeaderValue", "<rss/>", "application/rss+xml;Charset=\"KOI8-R\"", "koi8-r"},
      {"HeaderAmongParameters", "<rss/>", "text/xml; q=1; charset = cp1251 ;x=y", "cp1251"},
      {"MarkOverHeader", "\xEF\xBB\xBF<rss/>", "text/xml; charset=windows-1251", "utf-8"},
      {"Utf16Mark", std::string("\xFF\xFE<\0", 4), "text/xml; charset=latin1", "utf-16le"},
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
  for (const auto& c : cases)
    EXPECT_EQ(Charset::Detect(c.bytes, c.contentType), c.expected) << c.name;
}

TEST(Charset, DecodeToUtf8ReadsEachCharsetAndRepairsBrokenBytes) {
  const std::vector<CharsetCase> cases = {
      {"Windows1251", "\xCF\xF0\xE8\xE2\xE5\xF2", "text/xml; charset=windows-1251", "Привет"},
      {"Koi8R", "\xF0\xD2\xC9\xD7\xC5\xD4", "text/xml; charset=koi8-r", "Привет"},
      {"Koi8U", "\xBD", "text/xml; charset=koi8-u", "Ґ"},
      {"Windows1250", "\x8Elu\x9Dou\xE8k\xFD", "text/xml; charset=windows-1250", "Žluťoučký"},
      {"Windows1252", "\x80 \x93hi\x94 \x9F", "text/xml; charset=windows-1252", "€ “hi” Ÿ"},
      {"Iso8859_15Euro", "\xA4", "text/xml; charset=iso-8859-15", "€"},
      // Feeds labelled Latin-1 carry windows-1252 quotes; browsers read them so too.
      {"Latin1LabelReadsWindowsQuotes", "\x93hi\x94 \x80", "text/xml; charset=iso-8859-1",
       "“hi” €"},
      {"AsciiLabelStillReadsHighBytes", "\xE9", "text/xml; charset=us-ascii", "é"},
      {"UndefinedByteIsItsControl", "\x81", "text/xml; charset=windows-1252", "\xC2\x81"},
      {"Utf16LeMarkDropped", std::string("\xFF\xFEh\0\x3F\x04", 6), "", "hп"},
      {"Utf16BePair", std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6), "", "😀"},
      {"LoneHighSurrogate", std::string("\xFF\xFE\x3D\xD8\x61\0", 6), "", "\uFFFDa"},
      {"LoneLowSurrogate", std::string("\xFF\xFE\x00\xDE", 4), "", "\uFFFD"},
      {"OddLastByte", std::string("\xFF\xFE\x61\0b", 5), "", "a\uFFFD"},
      {"NulUnit", std::string("\xFF\xFE\0\0", 4), "", "\uFFFD"},
      {"Utf16HeaderWithoutMark", std::string("a\0", 2), "text/xml; charset=utf-16le", "a"},
      {"ValidUtf8Unchanged", "Grüße 😀 €", "", "Grüße 😀 €"},
      {"Utf8MarkDropped", "\xEF\xBB\xBF<rss/>", "", "<rss/>"},
      {"CutSequenceThenAscii", "a\xC3(b", "", "a\uFFFD(b"},
      {"LoneContinuation", "\x80x", "", "\uFFFDx"},
      {"OverlongSlash", "\xC0\xAF", "", "\uFFFD\uFFFD"},
      {"EncodedSurrogate", "\xED\xA0\x80", "", "\uFFFD\uFFFD\uFFFD"},
      {"PastLastCodePoint", "\xF4\x90\x80\x80", "", "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"CutAtTheEnd", "ok\xE2\x82", "", "ok\uFFFD"},
      {"NulWouldEndTheParsersString", std::string("a\0b", 3), "", "a\uFFFDb"},
      {"UnknownCharsetReadsAsUtf8", "é\xFF", "text/xml; charset=x-no-such", "é\uFFFD"},
      // The declaration names UTF-8 after decoding, so that no parser decodes a second time.
      {"DeclarationRenamed", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", "",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>é</a>"},
      {"SingleQuotedDeclarationRenamed",
       "<?xml version='1.0' encoding = 'cp1251' standalone='yes'?><a/>", "text/xml; charset=utf-8",
       "<?xml version='1.0' encoding = 'UTF-8' standalone='yes'?><a/>"},
      {"MentionOutsideTheDeclarationKept", "<rss><title>encoding=\"latin1\"?></title></rss>", "",
       "<rss><title>encoding=\"latin1\"?></title></rss>"},
      {"LongRunsAroundRepairs",
       std::string("0123456789\xE2\x82 0123456789\xC3\xA9\0 012345678", 36), "",
       "0123456789\uFFFD 0123456789é\uFFFD 012345678"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Charset::DecodeToUtf8(c.bytes, c.contentType), c.expected) << c.name;
    // Taking the bytes gives the same text.
    EXPECT_EQ(Charset::DecodeOwned(c.bytes, Charset::Detect(c.bytes, c.contentType)), c.expected)
        << c.name;
  }
}

TEST(Charset, RandomBytesGiveValidUtf8WithoutNulInEveryCharset) {
  std::mt19937 random(20240607);
  std::string bytes(64 * 1024, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  for (const char* charset :
       {"utf-8", "utf-16", "utf-16le", "utf-16be", "windows-1252", "windows-1251", "windows-1250",
        "iso-8859-15", "iso-8859-2", "koi8-r", "koi8-u"}) {
    const std::string text = Charset::Decode(bytes, charset);
    EXPECT_EQ(Utf8::FirstInvalid(text), std::string::npos) << charset;
    EXPECT_EQ(text.find('\0'), std::string::npos) << charset;
  }
}

// Regression: nothing noticed when an https link redirected to http was followed.
TEST(Download, OnlyWebLinksAreFetchedAndARedirectNeverStepsDownFromHttps) {
  const std::vector<std::array<std::string, 3>> cases = {
      {"", "http://a.test/feed", ""},
      {"", "HTTPS://user@a.test:8443/feed", ""},
      {"", "http://[::1]:8080/feed", ""},
      {"", "a.test/feed", "scheme not http or https"},
      {"", "file:///etc/passwd", "scheme not http or https"},
      {"", "https://:8080/feed", "no host in the link"},
      {"https://a.test/feed", "https://b.test/feed", ""},
      {"http://a.test/feed", "https://b.test/feed", ""},
      {"http://a.test/feed", "http://b.test/feed", ""},
      {"https://a.test/feed", "http://a.test/feed", "redirect from https to http refused"},
      {"HTTPS://a.test/feed", "Http://a.test/feed", "redirect from https to http refused"},
      {"https://a.test/feed", "file:///etc/passwd",
       "redirect to a link that is not http or https refused"},
      {"http://a.test/feed", "ftp://a.test/feed",
       "redirect to a link that is not http or https refused"},
  };
  for (const auto& [from, to, refusal] : cases) {
    EXPECT_EQ(from.empty() ? Download::LinkRefusal(to) : Download::RedirectRefusal(from, to),
              refusal)
        << from << " -> " << to;
  }
}
