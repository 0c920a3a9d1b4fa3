#include "config/cINI.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using TestSupport::ReadAll;
using TestSupport::WriteAll;
using Names = std::vector<std::string>;
using namespace std::string_literals;

namespace {

class cINITest : public ::testing::Test {
 protected:
  cINITest() { ini.SetPath(path); }

  void Write(const std::string& section, const std::string& key, std::string value) {
    ini.SetSection(section);
    ini.SetKey(key);
    ini.SetValue(value);
  }
  std::string Read(const std::string& section, const std::string& key) {
    ini.SetSection(section);
    ini.SetKey(key);
    return ini.Value();
  }

  TestSupport::TempFolder folder;
  std::string path = folder.File("inbox.dat");
  cINI ini;
};

}  // namespace

TEST_F(cINITest, MissingFileSectionOrKeyReadsAsTheDefault) {
  EXPECT_EQ(Read("a", "k"), "");
  ini.SetDefault("FAIL");
  EXPECT_EQ(Read("a", "k"), "FAIL");
  WriteAll(path, "[a]\r\nk=v\r\n");
  EXPECT_EQ(Read("a", "other"), "FAIL");
  EXPECT_EQ(Read("b", "k"), "FAIL");
  EXPECT_EQ(Read("a", "k"), "v");
  EXPECT_EQ(fs::exists(folder.File("missing.ini")), false);
}

TEST_F(cINITest, WritesCreateTheFileAppendSectionsAndReplaceInPlace) {
  Write("one", "a", "1");
  EXPECT_EQ(ReadAll(path), "[one]\r\na=1\r\n");
  Write("two", "b", "2");
  EXPECT_EQ(ReadAll(path), "[one]\r\na=1\r\n[two]\r\nb=2\r\n");
  Write("one", "c", "3");
  EXPECT_EQ(ReadAll(path), "[one]\r\na=1\r\nc=3\r\n[two]\r\nb=2\r\n");
  Write("ONE", "A", "changed");
  EXPECT_EQ(ReadAll(path), "[one]\r\na=changed\r\nc=3\r\n[two]\r\nb=2\r\n");
  EXPECT_EQ(ini.LastReturnCode(), 1);
  EXPECT_EQ(ini.Success(), true);
}

TEST_F(cINITest, NamesMatchWithoutCaseButValuesAreKept) {
  Write("feed", "title", "MiXeD Case Title");
  EXPECT_EQ(Read("FEED", "TITLE"), "MiXeD Case Title");
  std::vector<std::string> keys;
  std::int32_t count = -1;
  ini.EnumerateCurrentSection(keys, count);
  EXPECT_EQ(keys, Names{"title"});
  EXPECT_EQ(count, 1);
}

TEST_F(cINITest, NulRemovalChangesTheCallersText) {
  std::string text = "a\0b\0\0c"s;
  ini.SetSection("s");
  ini.SetKey("k");
  ini.SetValue(text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(ReadAll(path), "[s]\r\nk=abc\r\n");
}

TEST_F(cINITest, LongValuesAndLongListingsComeBackWhole) {
  std::string longValue(200000, 'x');
  longValue[0] = 'a';
  longValue.back() = 'z';
  Write("big", "description", longValue);
  EXPECT_EQ(Read("big", "description"), longValue);

  // Many sections, and keys long enough that their listing passes 8 KB.
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "[section" + std::to_string(i) + "]\r\nread=0\r\n";
  text += "[keys]\r\n";
  for (int i = 0; i < 100; ++i) text += std::string(100, 'k') + std::to_string(i) + "=1\r\n";
  WriteAll(path, text);

  std::vector<std::string> sections;
  std::int32_t count = 0;
  ini.EnumerateAllSections(sections, count);
  ASSERT_EQ(count, 5001);
  ASSERT_EQ(sections.size(), 5001u);
  EXPECT_EQ(sections[0], "section0");
  EXPECT_EQ(sections[4999], "section4999");
  EXPECT_EQ(sections[5000], "keys");

  ini.SetSection("keys");
  std::vector<std::string> keys;
  ini.EnumerateCurrentSection(keys, count);
  ASSERT_EQ(count, 100);
  EXPECT_EQ(keys[99], std::string(100, 'k') + "99");
  EXPECT_GT(ini.INISection().size(), 8192u);
}

TEST_F(cINITest, ListingsFollowFileOrderWithOneNulAfterEachName) {
  std::vector<std::string> list{"stale"};
  std::int32_t count = 7;
  ini.EnumerateAllSections(list, count);
  EXPECT_EQ(list, Names{});
  EXPECT_EQ(count, 0);

  WriteAll(path, "[c]\r\nz=1\r\n=empty key\r\n[a]\r\n[]\r\nk=v\r\n[b]\r\n");
  EXPECT_EQ(ini.Sections(), "c\0a\0\0b\0"s);
  ini.EnumerateAllSections(list, count);
  EXPECT_EQ(list, (Names{"c", "a", "b"}));  // the empty name is skipped here only
  EXPECT_EQ(count, 3);

  ini.SetSection("C");
  EXPECT_EQ(ini.INISection(), "z\0\0"s);
  ini.EnumerateCurrentSection(list, count);
  EXPECT_EQ(list, (Names{"z", ""}));
  EXPECT_EQ(count, 2);

  ini.SetSection("missing");
  EXPECT_EQ(ini.INISection(), "");
  ini.EnumerateCurrentSection(list, count);
  EXPECT_EQ(count, 0);
}

TEST_F(cINITest, SplittingKeepsEmptyEntriesAndDropsTextAfterTheLastNul) {
  std::vector<std::string> list;
  std::int32_t count = 0;
  ini.EnumerateKeysInSection("x\0\0y\0tail"s, list, count);
  EXPECT_EQ(list, (Names{"x", "", "y"}));
  EXPECT_EQ(count, 3);
  ini.EnumerateKeysInSection("no nul at all", list, count);
  EXPECT_EQ(list, Names{});
  EXPECT_EQ(count, 0);
}

TEST_F(cINITest, DeletesRemoveKeysAndWholeSections) {
  WriteAll(path, "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n\r\n[c]\r\nw=4\r\n");
  ini.SetSection("a");
  ini.SetKey("X");
  ini.DeleteKey();
  EXPECT_EQ(ReadAll(path), "[a]\r\ny=2\r\n[b]\r\nz=3\r\n\r\n[c]\r\nw=4\r\n");
  ini.SetSection("B");
  ini.DeleteSection();
  EXPECT_EQ(ReadAll(path), "[a]\r\ny=2\r\n[c]\r\nw=4\r\n");
  ini.SetSection("c");
  ini.SetINISection("this text is not stored");
  EXPECT_EQ(ReadAll(path), "[a]\r\ny=2\r\n");
  EXPECT_EQ(ini.LastReturnCode(), 1);

  // Deleting what is not there is no error and writes nothing.
  ini.SetSection("nothing");
  ini.DeleteSection();
  EXPECT_EQ(ini.LastReturnCode(), 1);
  EXPECT_EQ(ReadAll(path), "[a]\r\ny=2\r\n");
}

TEST_F(cINITest, FailedWriteSetsLastReturnCodeZeroAndReadsLeaveIt) {
  ini.SetPath(folder.File("no/such/folder/settings.cfg"));
  Write("s", "k", "v");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(ini.Success(), false);

  ini.SetPath(path);
  Write("s", "k", "v");
  EXPECT_EQ(ini.LastReturnCode(), 1);
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Write("s", "k", "changed");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(ReadAll(path), "[s]\r\nk=v\r\n");
  EXPECT_EQ(Read("s", "k"), "v");
  EXPECT_EQ(ini.LastReturnCode(), 0);

  ini.SetPath(folder.path());  // a folder, not a file
  Write("s", "k", "v");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(Read("s", "k"), "");
}

TEST_F(cINITest, LineBreaksAndBracketsInNamesKeepTheFileIntact) {
  Write("guid\r\n[other]\r\nk=v", "title", "first\r\nsecond");
  Write("a]b", "title", "x");
  EXPECT_EQ(ReadAll(path), "[guid [other] k=v]\r\ntitle=first second\r\n[a]b]\r\ntitle=x\r\n");
  EXPECT_EQ(Read("guid\r\n[other]\r\nk=v", "title"), "first second");
  EXPECT_EQ(Read("A]B", "title"), "x");
  std::vector<std::string> sections;
  std::int32_t count = 0;
  ini.EnumerateAllSections(sections, count);
  EXPECT_EQ(sections, (Names{"guid [other] k=v", "a]b"}));

  Write("a]b", "bad=key", "x");
  EXPECT_EQ(ini.LastReturnCode(), 0);
}

TEST(cINIConversion, CLngDefaultReadsWholeNumbersOrGivesTheFallback) {
  constexpr std::int32_t fallback = -77;
  const struct {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"42", 42},
      {" 2.5 ", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"-3.5", -4},
      {"2.500001", 3},
      {"2.49999", 2},
      {"+7", 7},
      {"\t12 ", 12},
      {"0000000000042", 42},
      {".5", 0},
      {"1.", 1},
      {"-0", 0},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483647.5", fallback},
      {"2147483648", fallback},
      {"99999999999", fallback},
      {"FAIL", fallback},
      {"", fallback},
      {"   ", fallback},
      {"-", fallback},
      {".", fallback},
      {"12abc", fallback},
      {"1 2", fallback},
      {"1e3", fallback},
      {"0x10", fallback},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cINI::CLngDefault(c.text, fallback), c.expected) << "text: \"" << c.text << "\"";
  }
}

namespace {

class FakeWindow : public cINI::IFormWindow {
 public:
  bool IsMinimized() const override { return minimized; }
  bool IsMaximized() const override { return maximized; }
  std::int32_t Left() const override { return Check(left); }
  std::int32_t Top() const override { return top; }
  std::int32_t Width() const override { return width; }
  std::int32_t Height() const override { return height; }
  void Move(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override {
    left = l, top = t, width = w, height = h;
    ++moves;
  }
  void Maximize() override { maximized = true; }
  std::int32_t ScreenWidth() const override { return 1024 * 15; }
  std::int32_t ScreenHeight() const override { return 768 * 15; }
  std::int32_t TwipsPerPixelX() const override { return 15; }
  std::int32_t TwipsPerPixelY() const override { return 15; }

  std::int32_t Check(std::int32_t v) const {
    if (fail) throw std::runtime_error("window is gone");
    return v;
  }
  bool minimized = false, maximized = false, fail = false;
  std::int32_t left = 1500, top = 1500, width = 6000, height = 4500;
  int moves = 0;
};

}  // namespace

TEST_F(cINITest, SaveFormPositionWritesThePlacementUnlessMinimised) {
  FakeWindow window;
  ini.SetSection("DropBox");
  ini.SetKey("caller's key");
  window.minimized = true;
  ini.SaveFormPosition(window);
  EXPECT_EQ(fs::exists(path), false);

  window.minimized = false;
  ini.SaveFormPosition(window);
  EXPECT_EQ(ReadAll(path),
            "[DropBox]\r\nMaximised=0\r\nLeft=1500\r\nTop=1500\r\nWidth=6000\r\nHeight=4500\r\n");
  window.maximized = true;
  ini.SaveFormPosition(window);
  EXPECT_EQ(ReadAll(path),
            "[DropBox]\r\nMaximised=1\r\nLeft=1500\r\nTop=1500\r\nWidth=6000\r\nHeight=4500\r\n");
  EXPECT_EQ(ini.Key(), "caller's key");
  EXPECT_EQ(ini.LastReturnCode(), 1);

  window.maximized = false;
  window.fail = true;
  ini.SaveFormPosition(window);
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(ini.Key(), "caller's key");
}

TEST_F(cINITest, LoadFormPositionWithoutPlacementKeepsTheWindow) {
  WriteAll(path, "[DropBox]\r\nother=1\r\n");
  FakeWindow window;
  ini.SetSection("DropBox");
  ini.SetDefault("kept");
  ini.LoadFormPosition(window, 3000, 3000);
  EXPECT_EQ(window.left, 1500);
  EXPECT_EQ(window.top, 1500);
  EXPECT_EQ(window.width, 6000);
  EXPECT_EQ(window.height, 4500);
  EXPECT_EQ(window.maximized, false);
  EXPECT_EQ(ini.Default(), "kept");
}

TEST_F(cINITest, LoadFormPositionKeepsTheWindowOnScreen) {
  // Screen 15360 x 11520 twips, margin 4 pixels = 60 twips.
  const struct {
    const char* name;
    const char* stored;
    std::int32_t left, top, width, height;
    int moves;
  } cases[] = {
      {"restored as stored", "Left=300\r\nTop=450\r\nWidth=7000\r\nHeight=5000\r\n", 300, 450, 7000,
       5000, 1},
      {"raised to the minimum", "Left=300\r\nTop=450\r\nWidth=10\r\nHeight=10\r\n", 300, 450, 3000,
       2000, 1},
      {"off the top left edge", "Left=-9000\r\nTop=0\r\nWidth=7000\r\nHeight=5000\r\n", 60, 60,
       7000, 5000, 1},
      {"off the right and bottom", "Left=14000\r\nTop=11000\r\nWidth=7000\r\nHeight=5000\r\n", 8300,
       6460, 7000, 5000, 1},
      {"wider than the screen", "Left=0\r\nTop=0\r\nWidth=99999\r\nHeight=5000\r\n", 60, 60, 15240,
       5000, 1},
      {"broken text keeps the window's own", "Left=abc\r\nTop=\r\nWidth=7000.5\r\nHeight=x\r\n",
       1500, 1500, 7000, 4500, 1},
      {"huge numbers cannot overflow", "Left=2147483647\r\nTop=-2147483648\r\nWidth=2147483647\r\n",
       60, 60, 15240, 4500, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(path, std::string("[Main]\r\n") + c.stored);
    FakeWindow window;
    ini.SetSection("Main");
    ini.LoadFormPosition(window, 3000, 2000);
    EXPECT_EQ(window.moves, c.moves);
    EXPECT_EQ(window.left, c.left);
    EXPECT_EQ(window.top, c.top);
    EXPECT_EQ(window.width, c.width);
    EXPECT_EQ(window.height, c.height);
  }
}

TEST_F(cINITest, LoadFormPositionMaximisesAndFailsQuietly) {
  WriteAll(path, "[Main]\r\nMaximised=1\r\n");
  ini.SetSection("Main");
  FakeWindow window;
  ini.LoadFormPosition(window, 0, 0);
  EXPECT_EQ(window.maximized, true);

  // A minimum larger than the screen leaves the window where it is.
  FakeWindow small;
  ini.LoadFormPosition(small, 20000, 20000);
  EXPECT_EQ(small.moves, 0);

  FakeWindow broken;
  broken.fail = true;
  Write("other", "k", "v");
  ini.SetSection("Main");
  ini.SetKey("caller's key");
  ini.LoadFormPosition(broken, 0, 0);
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(ini.Key(), "caller's key");
  EXPECT_EQ(broken.moves, 0);
}
