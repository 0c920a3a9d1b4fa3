#include "config/IniDocument.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

TEST(IniDocumentFormat, UnchangedDocumentSerializesToTheSameBytes) {
  for (const std::string text :
       {"", "[a]\r\nx=1\r\ny=2\r\n", "[a]\nx=1\ny=2\n", "[a]\r\nx=1\ny=2\r\nno final line end",
        "\xEF\xBB\xBF[a]\r\nx=1\r\n",
        "; note\r\nstray=before any section\r\n\r\n[a]\r\n\r\n  k  =  v  \r\nno equals sign\r\n",
        "[a]\r\nx=1\r\n[A]\r\nx=2\r\n[a]\r\nx=lone\rcr\r\n\r\n"})
    EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
}

TEST(IniDocumentFormat, LookupIgnoresAsciiCaseAndBlanksAndTheFirstDuplicateWins) {
  const IniDocument doc = IniDocument::Parse(
      " \t[ Feed One ] \r\n\t Title \t=  Hello = World \t\r\nempty=\r\nTITLE=late\r\n"
      "[\xC3\xA4]\r\n[a]b] trailing\r\nk=1\r\n[FEED ONE]\r\nlate=1\r\n");
  EXPECT_EQ(doc.GetValue("FEED ONE", "title"), "Hello = World");
  EXPECT_EQ(doc.GetValue("  feed one\t", " TITLE "), "Hello = World");
  EXPECT_EQ(doc.GetValue("feed one", "empty"), "");
  EXPECT_EQ(doc.GetValue("feed one", "late"), std::nullopt);
  EXPECT_EQ(doc.GetValue("missing", "title"), std::nullopt);
  EXPECT_EQ(doc.KeyNames("Feed One"), (Names{"Title", "empty"}));
  // A header name runs to the last closing bracket; only ASCII letters fold.
  EXPECT_EQ(doc.SectionNames(), (Names{"Feed One", "\xC3\xA4", "a]b"}));
  EXPECT_EQ(doc.GetValue("A]B", "K"), "1");
  EXPECT_EQ(doc.HasSection("\xC3\x84"), false);
}

TEST(IniDocumentWrite, WritesChangeOnlyTheirOwnLines) {
  const struct {
    const char *name, *before, *section, *key, *value, *after;
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
      {"after a last line without line end", "[a]\nx=1", "b", "k", "v",
       "[a]\nx=1\r\n[b]\r\nk=v\r\n"},
      {"name holding a closing bracket", "", "odd]name", "k", "v", "[odd]name]\r\nk=v\r\n"},
      // It used to read past the end of the text.
      {"value ending in a CR", "", "a", "k", "v\r", "[a]\r\nk=v \r\n"},
  };
  for (const auto& c : cases) {
    IniDocument doc = IniDocument::Parse(c.before);
    EXPECT_EQ(doc.SetValue(c.section, c.key, c.value), true) << c.name;
    EXPECT_EQ(doc.Serialize(), c.after) << c.name;
  }
}

TEST(IniDocumentWrite, DeletesRemoveEveryLineOfTheirKeyOrSectionAndNothingElse) {
  IniDocument doc = IniDocument::Parse(
      "[a]\r\nx=1\r\nK=2\r\n\r\nk=3\r\n[b]\r\ny=2\r\n; note\r\n[c]\r\nk=4\r\n[B]\r\nw=4\r\n");
  EXPECT_EQ(doc.DeleteKey("a", "k"), true);
  EXPECT_EQ(doc.DeleteSection("b"), true);
  EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\n\r\n[c]\r\nk=4\r\n");
  EXPECT_EQ((std::vector{doc.DeleteKey("a", "missing"), doc.DeleteSection("missing")}),
            (std::vector{false, false}));
  IniDocument same = IniDocument::Parse("[a]\r\nk=v\r\n");
  same.SetValue("A", "K", "v");
  EXPECT_EQ(same.IsModified(), false);
}

// Regression: a guid or title holding a line break or "]" must not add sections or keys.
TEST(IniDocumentWrite, TextCannotBreakTheFileStructure) {
  IniDocument doc;
  ASSERT_EQ(doc.SetValue("guid\r\n[evil]", "title\nx", "one\r\ntwo\rthree\nfour"), true);
  const std::string text = doc.Serialize();
  EXPECT_EQ(text, "[guid [evil]]\r\ntitle x=one two three four\r\n");
  EXPECT_EQ(IniDocument::Parse(text).GetValue("guid\r\n[evil]", "title\nx"), "one two three four");
  // A key holding "=" or starting with "[" cannot be stored and is refused.
  EXPECT_EQ((std::vector{doc.SetValue("a", "x=y", "v"), doc.SetValue("a", " [x]", "v")}),
            (std::vector{false, false}));
  EXPECT_EQ(doc.Serialize(), text);
}

TEST(IniDocumentWrite, ManyChangesThroughTheIndexStayConsistent) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "[s" + std::to_string(i) + "]\r\nread=0\r\n";
  IniDocument doc = IniDocument::Parse(text + "[S0]\r\nread=duplicate\r\n");
  for (int i = 0; i < 3000; i += 3) doc.SetValue("S" + std::to_string(i), "read", "1");
  for (int i = 1; i < 3000; i += 3) doc.DeleteSection("s" + std::to_string(i));
  doc.DeleteSection("s0");  // and its duplicate
  doc.SetValue("new", "k", "v");
  doc.SetValue("s1", "read", "again");
  EXPECT_EQ((std::vector{doc.GetValue("s3", "read"), doc.GetValue("s2", "read"),
                         doc.GetValue("s4", "read"), doc.GetValue("s0", "read")}),
            (std::vector<std::optional<std::string>>{"1", "0", std::nullopt, std::nullopt}));
  const Names names = doc.SectionNames();
  ASSERT_EQ(names.size(), 2001u);
  EXPECT_EQ((Names{names[0], names[1999], names[2000]}), (Names{"s2", "new", "s1"}));
  EXPECT_EQ(IniDocument::Parse(doc.Serialize()).SectionNames(), names);
}

TEST(IniDocumentFile, LoadSaveAndStreamedReadsKeepOrRefuseTheFile) {
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
  EXPECT_EQ(doc.Save("", ec), false);
  // Replacing goes through a new file, which must not get round a read-only mark.
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  doc.SetValue("a", "y", "3");
  EXPECT_EQ(doc.Save(path, ec), false);
  EXPECT_EQ(TestSupport::ReadAll(path), "[a]\nx=1\r\ny=2\r\n");
  // "[s]\r\n" and "k=" take 7 bytes, so the CR lands on the last byte of a 64 KiB read buffer.
  const std::string value(65528, 'v');
  TestSupport::WriteAll(path, "[s]\r\nk=" + value + "\r\nnext=1\r\n");
  EXPECT_EQ(IniDocument::ReadValue(path, "S", "K", ec), value);
  EXPECT_EQ(IniDocument::ReadKeyNames(path, "s", ec), (Names{"k", "next"}));
  EXPECT_EQ(IniDocument::ReadSectionNames(path, ec), Names{"s"});
}
