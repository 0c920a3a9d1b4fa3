#include "config/IniDocument.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(IniDocumentFormat, UnchangedDocumentSerializesToTheSameBytes) {
  const Names texts = {
      "",
      "[a]\r\nx=1\r\ny=2\r\n",
      "[a]\nx=1\ny=2\n",
      "[a]\r\nx=1\ny=2\r\nno final line end",
      "\xEF\xBB\xBF[a]\r\nx=1\r\n",
      "; note\r\nstray=before any section\r\n\r\n[a]\r\n\r\n  k  =  v  \r\nno equals sign\r\n",
      "[a]\r\nx=1\r\n[A]\r\nx=2\r\n[a]\r\nx=lone\rcr\r\n\r\n",
  };
  for (const std::string& text : texts) EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
}

TEST(IniDocumentFormat, LookupIgnoresLetterCaseAndSurroundingBlanks) {
  const IniDocument doc = IniDocument::Parse(
      " \t[ Feed One ] \r\n\t Title \t=  Hello = World \t\r\nempty=\r\n[\xC3\xA4]\r\nk=v\r\n");
  EXPECT_EQ(doc.GetValue("FEED ONE", "title"), "Hello = World");
  EXPECT_EQ(doc.GetValue("  feed one\t", " TITLE "), "Hello = World");
  EXPECT_EQ(doc.GetValue("feed one", "empty"), "");
  EXPECT_EQ(doc.GetValue("feed one", "missing"), std::nullopt);
  EXPECT_EQ(doc.GetValue("missing", "title"), std::nullopt);
  // Only ASCII letters fold; other UTF-8 text must match exactly.
  EXPECT_EQ(doc.HasSection("\xC3\xA4"), true);
  EXPECT_EQ(doc.HasSection("\xC3\x84"), false);
}

TEST(IniDocumentFormat, HeaderNameRunsToTheLastClosingBracket) {
  const IniDocument doc = IniDocument::Parse("[a]b] trailing\r\nk=1\r\n[[x]]\r\n[open\r\n");
  EXPECT_EQ(doc.SectionNames(), (Names{"a]b", "[x]", "open"}));
  EXPECT_EQ(doc.GetValue("A]B", "k"), "1");
}

TEST(IniDocumentFormat, SectionAndKeyOrderIsFileOrderWithTheFirstDuplicateWinning) {
  IniDocument doc =
      IniDocument::Parse("[c]\r\nz=1\r\na=2\r\nZ=3\r\n[a]\r\n[b]\r\n[C]\r\nlate=1\r\n");
  EXPECT_EQ(doc.SectionNames(), (Names{"c", "a", "b"}));
  EXPECT_EQ(doc.KeyNames("c"), (Names{"z", "a"}));
  EXPECT_EQ(doc.GetValue("c", "z"), "1");
  EXPECT_EQ(doc.GetValue("c", "late"), std::nullopt);
  doc.DeleteSection("a");
  doc.SetValue("a", "k", "v");
  EXPECT_EQ(doc.SectionNames(), (Names{"c", "b", "a"}));
}

TEST(IniDocumentWrite, WritesChangeOnlyTheirOwnLines) {
  const struct {
    const char* name;
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  } cases[] = {
      {"into an empty document", "", "one", "a", "1", "[one]\r\na=1\r\n"},
      {"new section at the end", "[one]\r\na=1\r\n", "two", "b", "2",
       "[one]\r\na=1\r\n[two]\r\nb=2\r\n"},
      {"existing key in place", "[a]\r\nx=1\r\ny=2\r\n[b]\r\ny=3\r\n", "A", "Y", "9",
       "[a]\r\nx=1\r\ny=9\r\n[b]\r\ny=3\r\n"},
      {"key keeps its spelling, line gets CR LF", "[a]\nKey = old\nz=1\n", "a", "key", "new",
       "[a]\nKey =new\r\nz=1\n"},
      {"first of duplicate keys", "[a]\r\nk=1\r\nk=2\r\n", "a", "k", "3", "[a]\r\nk=3\r\nk=2\r\n"},
      {"new key after the last entry", "[a]\r\nx=1\r\n\r\n[b]\r\n", "a", "z", "2",
       "[a]\r\nx=1\r\nz=2\r\n\r\n[b]\r\n"},
      {"new key in a section without entries", "[a]\r\n; note\r\n", "a", "z", "2",
       "[a]\r\nz=2\r\n; note\r\n"},
      {"after a last line without line end", "[a]\nx=1", "a", "y", "2", "[a]\nx=1\r\ny=2\r\n"},
      {"new section after a last line without line end", "[a]\nx=1", "b", "k", "v",
       "[a]\nx=1\r\n[b]\r\nk=v\r\n"},
      {"name holding a closing bracket", "", "odd]name", "k", "v", "[odd]name]\r\nk=v\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IniDocument doc = IniDocument::Parse(c.before);
    EXPECT_EQ(doc.SetValue(c.section, c.key, c.value), true);
    EXPECT_EQ(doc.Serialize(), c.after);
    EXPECT_EQ(IniDocument::Parse(c.after).GetValue(c.section, c.key), c.value);
  }
}

TEST(IniDocumentWrite, DeletesRemoveEveryLineOfTheirKeyOrSection) {
  IniDocument doc = IniDocument::Parse(
      "[a]\r\nx=1\r\nK=2\r\n\r\nk=3\r\n[b]\r\ny=2\r\n; note\r\n[c]\r\nk=4\r\n[B]\r\nw=4\r\n");
  EXPECT_EQ(doc.DeleteKey("a", "k"), true);
  EXPECT_EQ(doc.DeleteSection("b"), true);
  EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\n\r\n[c]\r\nk=4\r\n");
  EXPECT_EQ(doc.HasSection("b"), false);

  IniDocument same = IniDocument::Parse("[a]\r\nk=v\r\n");
  same.SetValue("A", "K", "v");
  EXPECT_EQ(same.DeleteKey("a", "missing"), false);
  EXPECT_EQ(same.DeleteSection("missing"), false);
  EXPECT_EQ(same.IsModified(), false);
}

TEST(IniDocumentWrite, TextCannotBreakTheFileStructure) {
  IniDocument doc;
  ASSERT_EQ(doc.SetValue("guid\r\n[evil]", "title\nx", "one\r\ntwo\rthree\nfour"), true);
  const std::string text = doc.Serialize();
  EXPECT_EQ(text, "[guid [evil]]\r\ntitle x=one two three four\r\n");
  // The same names find the entry again, also after a round trip through text.
  EXPECT_EQ(IniDocument::Parse(text).GetValue("guid\r\n[evil]", "title\nx"), "one two three four");

  // A key holding "=" or starting with "[" cannot be stored and is refused.
  EXPECT_EQ(doc.SetValue("a", "x=y", "v"), false);
  EXPECT_EQ(doc.SetValue("a", " [x]", "v"), false);
  EXPECT_EQ(doc.Serialize(), text);
}

TEST(IniDocumentBatch, ManyChangesThroughTheIndexStayConsistent) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "[s" + std::to_string(i) + "]\r\nread=0\r\n";
  text += "[S0]\r\nread=duplicate\r\n";
  IniDocument doc = IniDocument::Parse(text);
  for (int i = 0; i < 3000; i += 3) doc.SetValue("S" + std::to_string(i), "read", "1");
  for (int i = 1; i < 3000; i += 3) doc.DeleteSection("s" + std::to_string(i));
  doc.DeleteSection("s0");  // and its duplicate
  doc.SetValue("new", "k", "v");
  doc.SetValue("s1", "read", "again");

  EXPECT_EQ(doc.GetValue("s3", "read"), "1");
  EXPECT_EQ(doc.GetValue("s2", "read"), "0");
  EXPECT_EQ(doc.GetValue("s4", "read"), std::nullopt);
  EXPECT_EQ(doc.HasSection("s0"), false);
  const Names names = doc.SectionNames();
  ASSERT_EQ(names.size(), 2001u);
  EXPECT_EQ(names[0], "s2");
  EXPECT_EQ(names[1999], "new");
  EXPECT_EQ(names[2000], "s1");
  const std::string written = doc.Serialize();
  EXPECT_EQ(written.find("[s0]"), std::string::npos);
  EXPECT_EQ(IniDocument::Parse(written).SectionNames(), names);
}

TEST(IniDocumentFile, LoadAndSaveKeepOrRefuseTheFile) {
  TestSupport::TempFolder folder;
  std::error_code ec;
  EXPECT_EQ(IniDocument::Load(folder.File("none.ini"), ec).Serialize(), "");
  EXPECT_EQ(ec, std::error_code());
  IniDocument::Load(folder.path(), ec);
  EXPECT_NE(ec, std::error_code());

  const std::string path = folder.File("a.ini");
  TestSupport::WriteAll(path, "[a]\nx=1");
  IniDocument doc = IniDocument::Load(path, ec);
  doc.SetValue("a", "y", "2");
  EXPECT_EQ(doc.Save(path, ec), true);
  EXPECT_EQ(TestSupport::ReadAll(path), "[a]\nx=1\r\ny=2\r\n");

  EXPECT_EQ(doc.Save(folder.File("no/such/folder/a.ini"), ec), false);
  EXPECT_NE(ec, std::error_code());
  EXPECT_EQ(doc.Save("", ec), false);
  // Replacing goes through a new file, which must not get round a read-only mark.
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  doc.SetValue("a", "y", "3");
  EXPECT_EQ(doc.Save(path, ec), false);
  EXPECT_EQ(TestSupport::ReadAll(path), "[a]\nx=1\r\ny=2\r\n");
}

TEST(IniDocumentFile, StreamedReadsGiveWhatTheParsedDocumentGives) {
  TestSupport::TempFolder folder;
  // Pieces that stress the line and name rules, and lines long enough to cross read buffers.
  const Names pieces = {"[",    "]", "=", " ", "\t",      "\r", "\n",
                        "\r\n", "a", "A", "b", "[a]\r\n", "a=", std::string(70000, 'x')};
  const Names sections = {"A", "", "a]", "[a", "x"};
  const Names keys = {"a", "", "x"};
  std::mt19937 random(20261206);
  for (int round = 0; round < 200; ++round) {
    std::string text = round % 7 == 0 ? "\xEF\xBB\xBF" : "";
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      const std::size_t pick = random() % pieces.size();
      if (pick + 1 == pieces.size() && round % 10 != 0) continue;  // long lines now and then
      text += pieces[pick];
    }
    // A new file each round: rewriting one file in place makes the file system flush it.
    const std::string path = folder.File("random" + std::to_string(round) + ".ini");
    TestSupport::WriteAll(path, text);
    std::error_code ec;
    const IniDocument doc = IniDocument::Load(path, ec);
    ASSERT_EQ(ec, std::error_code());
    SCOPED_TRACE(testing::PrintToString(text.size() < 200 ? text : "long text"));
    EXPECT_EQ(IniDocument::ReadSectionNames(path, ec), doc.SectionNames());
    for (const std::string& section : sections) {
      EXPECT_EQ(IniDocument::ReadKeyNames(path, section, ec), doc.KeyNames(section));
      for (const std::string& key : keys) {
        EXPECT_EQ(IniDocument::ReadValue(path, section, key, ec), doc.GetValue(section, key));
      }
    }
  }

  // "[s]\r\n" and "k=" take 7 bytes, so the CR lands on the last byte of a 64 KiB buffer.
  const std::string path = folder.File("edge.ini");
  const std::string value(65528, 'v');
  TestSupport::WriteAll(path, "[s]\r\nk=" + value + "\r\nnext=1\r\n");
  std::error_code ec;
  EXPECT_EQ(IniDocument::ReadValue(path, "s", "k", ec), value);
  EXPECT_EQ(IniDocument::ReadKeyNames(path, "s", ec), (Names{"k", "next"}));
}
