#include "config/IniDocument.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

std::string AfterSet(const std::string& text, const std::string& section, const std::string& key,
                     const std::string& value) {
  IniDocument doc = IniDocument::Parse(text);
  EXPECT_TRUE(doc.SetValue(section, key, value));
  return doc.Serialize();
}

}  // namespace

TEST(IniDocumentFormat, UnchangedDocumentSerializesToTheSameBytes) {
  const std::vector<std::string> texts = {
      "",
      "[a]\r\nx=1\r\ny=2\r\n",
      "[a]\nx=1\ny=2\n",
      "[a]\r\nx=1\ny=2\r\n",
      "[a]\r\nx=1",
      "\xEF\xBB\xBF[a]\r\nx=1\r\n",
      "; note\r\nstray=before any section\r\n\r\n[a]\r\n\r\n  k  =  v  \r\nno equals sign\r\n",
      "[a]\r\nx=1\r\n[A]\r\nx=2\r\n[a]\r\n",
      "[a]\r\nx=lone\rcr\r\n\r\n\r\n",
      "\n\n[]\n=empty key\n",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
  }
}

TEST(IniDocumentFormat, NamesMatchWithoutCaseValuesKeptAsStored) {
  const IniDocument doc =
      IniDocument::Parse("[Feed One]\r\nTitle=Hello World\r\n[feed two]\r\nTITLE=MiXeD\r\n");
  EXPECT_EQ(doc.GetValue("FEED ONE", "title"), "Hello World");
  EXPECT_EQ(doc.GetValue("Feed Two", "Title"), "MiXeD");
  EXPECT_EQ(doc.GetValue("feed one", "missing"), std::nullopt);
  EXPECT_EQ(doc.GetValue("missing", "title"), std::nullopt);
  // Only ASCII letters fold; other UTF-8 text must match exactly.
  const IniDocument accented = IniDocument::Parse("[\xC3\xA4]\r\nk=v\r\n");
  EXPECT_EQ(accented.HasSection("\xC3\xA4"), true);
  EXPECT_EQ(accented.HasSection("\xC3\x84"), false);
}

TEST(IniDocumentFormat, BlanksAroundNamesAndValuesAreNotSignificant) {
  const IniDocument doc = IniDocument::Parse(" \t[ a b ] \r\n\t k \t=  v = w \t\r\nq=\r\n");
  EXPECT_EQ(doc.GetValue("a b", "k"), "v = w");
  EXPECT_EQ(doc.GetValue("  a b\t", " k "), "v = w");
  EXPECT_EQ(doc.GetValue("a b", "q"), "");
  EXPECT_EQ(doc.SectionNames(), Names{"a b"});
  EXPECT_EQ(doc.KeyNames("a b"), (Names{"k", "q"}));
}

TEST(IniDocumentFormat, HeaderNameRunsToTheLastClosingBracket) {
  const IniDocument doc =
      IniDocument::Parse("[a]b] trailing\r\nk=1\r\n[[x]]\r\nk=2\r\n[open\r\nk=3\r\n");
  EXPECT_EQ(doc.SectionNames(), (Names{"a]b", "[x]", "open"}));
  EXPECT_EQ(doc.GetValue("A]B", "k"), "1");

  IniDocument written;
  written.SetValue("odd]name", "k", "v");
  const std::string text = written.Serialize();
  EXPECT_EQ(text, "[odd]name]\r\nk=v\r\n");
  EXPECT_EQ(IniDocument::Parse(text).GetValue("odd]name", "k"), "v");
}

TEST(IniDocumentFormat, SectionAndKeyOrderIsFileOrder) {
  IniDocument doc =
      IniDocument::Parse("[c]\r\nz=1\r\na=2\r\nZ=3\r\n[a]\r\n[b]\r\nm=1\r\n[C]\r\nlate=1\r\n");
  EXPECT_EQ(doc.SectionNames(), (Names{"c", "a", "b"}));
  EXPECT_EQ(doc.KeyNames("c"), (Names{"z", "a"}));
  // The first of duplicate sections and keys is the one read.
  EXPECT_EQ(doc.GetValue("c", "z"), "1");
  EXPECT_EQ(doc.GetValue("c", "late"), std::nullopt);

  doc.DeleteSection("a");
  doc.SetValue("a", "k", "v");
  EXPECT_EQ(doc.SectionNames(), (Names{"c", "b", "a"}));
}

TEST(IniDocumentWrite, ExistingKeyIsReplacedInPlace) {
  EXPECT_EQ(AfterSet("[a]\r\nx=1\r\ny=2\r\n[b]\r\ny=3\r\n", "A", "Y", "9"),
            "[a]\r\nx=1\r\ny=9\r\n[b]\r\ny=3\r\n");
  // The key keeps its spelling and spacing; the rewritten line gets CR LF.
  EXPECT_EQ(AfterSet("[a]\nKey = old\nz=1\n", "a", "key", "new"), "[a]\nKey =new\r\nz=1\n");
  // Only the first of duplicate keys changes.
  EXPECT_EQ(AfterSet("[a]\r\nk=1\r\nk=2\r\n", "a", "k", "3"), "[a]\r\nk=3\r\nk=2\r\n");
}

TEST(IniDocumentWrite, MissingKeyGoesRightAfterTheSectionsLastEntry) {
  EXPECT_EQ(AfterSet("[a]\r\nx=1\r\n\r\n[b]\r\nx=2\r\n", "a", "z", "2"),
            "[a]\r\nx=1\r\nz=2\r\n\r\n[b]\r\nx=2\r\n");
  EXPECT_EQ(AfterSet("[a]\r\n; note\r\n[b]\r\n", "a", "z", "2"), "[a]\r\nz=2\r\n; note\r\n[b]\r\n");
  EXPECT_EQ(AfterSet("[a]\nx=1", "a", "y", "2"), "[a]\nx=1\r\ny=2\r\n");
}

TEST(IniDocumentWrite, MissingSectionIsAppendedAtTheEnd) {
  IniDocument doc;
  EXPECT_EQ(doc.IsModified(), false);
  doc.SetValue("one", "a", "1");
  EXPECT_EQ(doc.Serialize(), "[one]\r\na=1\r\n");
  doc.SetValue("two", "b", "2");
  EXPECT_EQ(doc.Serialize(), "[one]\r\na=1\r\n[two]\r\nb=2\r\n");
  EXPECT_EQ(doc.IsModified(), true);

  EXPECT_EQ(AfterSet("[a]\nx=1", "b", "k", "v"), "[a]\nx=1\r\n[b]\r\nk=v\r\n");
  EXPECT_EQ(AfterSet("[a]\r\nx=1\r\n\r\n", "b", "k", "v"), "[a]\r\nx=1\r\n\r\n[b]\r\nk=v\r\n");
  EXPECT_EQ(AfterSet("stray", "b", "k", "v"), "stray\r\n[b]\r\nk=v\r\n");
}

TEST(IniDocumentWrite, StoringTheSameValueChangesNothing) {
  IniDocument doc = IniDocument::Parse("[a]\r\nk=v\r\n");
  doc.SetValue("A", "K", "v");
  EXPECT_EQ(doc.IsModified(), false);
  EXPECT_EQ(doc.DeleteKey("a", "missing"), false);
  EXPECT_EQ(doc.DeleteSection("missing"), false);
  EXPECT_EQ(doc.IsModified(), false);
}

TEST(IniDocumentWrite, DeleteKeyRemovesEveryLineOfThatKey) {
  IniDocument doc = IniDocument::Parse("[a]\r\nx=1\r\nK=2\r\n\r\nk=3\r\n[b]\r\nk=4\r\n");
  EXPECT_EQ(doc.DeleteKey("a", "k"), true);
  EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\n\r\n[b]\r\nk=4\r\n");
  EXPECT_EQ(doc.GetValue("a", "k"), std::nullopt);
}

TEST(IniDocumentWrite, DeleteSectionRemovesHeaderAndAllItsLines) {
  IniDocument doc =
      IniDocument::Parse("[a]\r\nx=1\r\n[b]\r\ny=2\r\n; note\r\n\r\n[c]\r\nz=3\r\n[B]\r\nw=4\r\n");
  EXPECT_EQ(doc.DeleteSection("b"), true);
  EXPECT_EQ(doc.Serialize(), "[a]\r\nx=1\r\n[c]\r\nz=3\r\n");
  EXPECT_EQ(doc.HasSection("b"), false);
}

TEST(IniDocumentWrite, LineBreaksInNamesAndValuesBecomeSpaces) {
  IniDocument doc;
  ASSERT_EQ(doc.SetValue("guid\r\n[evil]", "title\nx", "one\r\ntwo\rthree\nfour"), true);
  const std::string text = doc.Serialize();
  EXPECT_EQ(text, "[guid [evil]]\r\ntitle x=one two three four\r\n");
  // The same names find the entry again, before and after a round trip through text.
  EXPECT_EQ(doc.GetValue("guid\r\n[evil]", "title\nx"), "one two three four");
  const IniDocument reread = IniDocument::Parse(text);
  EXPECT_EQ(reread.SectionNames(), Names{"guid [evil]"});
  EXPECT_EQ(reread.GetValue("guid\r\n[evil]", "title\nx"), "one two three four");
}

TEST(IniDocumentWrite, KeyTheFormatCannotHoldIsRefused) {
  IniDocument doc = IniDocument::Parse("[a]\r\nk=v\r\n");
  EXPECT_EQ(doc.SetValue("a", "x=y", "v"), false);
  EXPECT_EQ(doc.SetValue("a", " [x]", "v"), false);
  EXPECT_EQ(doc.Serialize(), "[a]\r\nk=v\r\n");
  EXPECT_EQ(doc.IsModified(), false);
}

TEST(IniDocumentBatch, ManyChangesOnALargeDocumentStayConsistent) {
  IniDocument doc;
  for (int i = 0; i < 3000; ++i) doc.SetValue("s" + std::to_string(i), "read", "0");
  const std::string original = doc.Serialize();
  IniDocument parsed = IniDocument::Parse(original);
  // Enough lookups that the index is built, mixed with changes that must keep it right.
  for (int i = 0; i < 3000; i += 3) parsed.SetValue("S" + std::to_string(i), "read", "1");
  for (int i = 1; i < 3000; i += 3) parsed.DeleteSection("s" + std::to_string(i));
  parsed.SetValue("new", "k", "v");
  parsed.SetValue("s1", "read", "again");

  EXPECT_EQ(parsed.GetValue("s0", "read"), "1");
  EXPECT_EQ(parsed.GetValue("s2", "read"), "0");
  EXPECT_EQ(parsed.GetValue("s4", "read"), std::nullopt);
  EXPECT_EQ(parsed.GetValue("NEW", "k"), "v");
  const Names names = parsed.SectionNames();
  ASSERT_EQ(names.size(), 2002u);
  EXPECT_EQ(names[0], "s0");
  EXPECT_EQ(names[1], "s2");
  EXPECT_EQ(names[2000], "new");
  EXPECT_EQ(names[2001], "s1");
  // What was serialized parses back to the same document.
  const std::string text = parsed.Serialize();
  EXPECT_EQ(IniDocument::Parse(text).Serialize(), text);
  EXPECT_EQ(IniDocument::Parse(text).SectionNames(), names);
}

TEST(IniDocumentBatch, DuplicateSectionsAreAllDeletedThroughTheIndex) {
  std::string text;
  for (int i = 0; i < 20; ++i)
    text += "[s" + std::to_string(i % 5) + "]\r\nk=" + std::to_string(i) + "\r\n";
  IniDocument doc = IniDocument::Parse(text);
  for (int i = 0; i < 10; ++i) doc.HasSection("x");  // past the few unindexed lookups
  EXPECT_EQ(doc.SectionNames(), (Names{"s0", "s1", "s2", "s3", "s4"}));
  EXPECT_EQ(doc.GetValue("s3", "k"), "3");
  doc.DeleteSection("S3");
  EXPECT_EQ(doc.HasSection("s3"), false);
  EXPECT_EQ(doc.Serialize().find("[s3]"), std::string::npos);
  doc.SetValue("s3", "k", "new");
  EXPECT_EQ(doc.GetValue("s3", "k"), "new");
}

TEST(IniDocumentFile, MissingFileLoadsEmptyAndUnreadableFileIsAnError) {
  TestSupport::TempFolder folder;
  std::error_code ec;
  const IniDocument missing = IniDocument::Load(folder.File("none.ini"), ec);
  EXPECT_EQ(ec, std::error_code());
  EXPECT_EQ(missing.Serialize(), "");

  IniDocument::Load(folder.path(), ec);
  EXPECT_NE(ec, std::error_code());
  IniDocument::Load("", ec);
  EXPECT_NE(ec, std::error_code());
}

TEST(IniDocumentFile, SaveReplacesTheFileWithTheSerializedBytes) {
  TestSupport::TempFolder folder;
  const std::string path = folder.File("a.ini");
  TestSupport::WriteAll(path, "[a]\nx=1");
  std::error_code ec;
  IniDocument doc = IniDocument::Load(path, ec);
  ASSERT_EQ(ec, std::error_code());
  doc.SetValue("a", "y", "2");
  EXPECT_EQ(doc.Save(path, ec), true);
  EXPECT_EQ(TestSupport::ReadAll(path), "[a]\nx=1\r\ny=2\r\n");
}

TEST(IniDocumentFile, SaveFailsIntoMissingFolderOrOverReadOnlyFile) {
  TestSupport::TempFolder folder;
  IniDocument doc;
  doc.SetValue("a", "k", "v");
  std::error_code ec;
  EXPECT_EQ(doc.Save(folder.File("no/such/folder/a.ini"), ec), false);
  EXPECT_NE(ec, std::error_code());

  const std::string path = folder.File("ro.ini");
  TestSupport::WriteAll(path, "[old]\r\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(doc.Save(path, ec), false);
  EXPECT_EQ(TestSupport::ReadAll(path), "[old]\r\n");
  EXPECT_EQ(doc.Save("", ec), false);
}

TEST(IniDocumentFile, StreamedReadsGiveWhatTheParsedDocumentGives) {
  TestSupport::TempFolder folder;
  // Pieces that stress the line and name rules, and lines long enough to cross read buffers.
  const std::vector<std::string> pieces = {
      "[",    "]", "=", " ", "\t",      "\r", "\n",
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
}

TEST(IniDocumentFile, StreamedReadHandlesALineEndSplitAcrossReadBuffers) {
  TestSupport::TempFolder folder;
  const std::string path = folder.File("edge.ini");
  // "[s]\r\n" and "k=" take 7 bytes, so the CR lands on the last byte of a 64 KiB buffer.
  const std::string value(65528, 'v');
  TestSupport::WriteAll(path, "[s]\r\nk=" + value + "\r\nnext=1\r\n");
  std::error_code ec;
  EXPECT_EQ(IniDocument::ReadValue(path, "s", "k", ec), value);
  EXPECT_EQ(IniDocument::ReadValue(path, "s", "next", ec), "1");
  EXPECT_EQ(IniDocument::ReadKeyNames(path, "s", ec), (Names{"k", "next"}));

  IniDocument::ReadValue(folder.path(), "s", "k", ec);
  EXPECT_NE(ec, std::error_code());
  EXPECT_EQ(IniDocument::ReadValue(folder.File("missing.ini"), "s", "k", ec), std::nullopt);
  EXPECT_EQ(ec, std::error_code());
}
