// cINI over IniDocument: the accessor's own rules (defaults, return codes, NUL handling,
// listings, numbers, window placements). The file format itself is IniDocumentTest's.
#include "config/cINI.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

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
  Names list{"stale"};
  std::int32_t count = -1;
};

class FakeWindow : public cINI::IFormWindow {
 public:
  bool IsMinimized() const override { return minimized; }
  bool IsMaximized() const override { return maximized; }
  std::int32_t Left() const override { return left; }
  std::int32_t Top() const override { return top; }
  std::int32_t Width() const override { return width; }
  std::int32_t Height() const override { return height; }
  void Move(std::int32_t l, std::int32_t t, std::int32_t w, std::int32_t h) override {
    left = l, top = t, width = w, height = h;
  }
  void Maximize() override { maximized = true; }
  std::int32_t ScreenWidth() const override { return 1024 * 15; }
  std::int32_t ScreenHeight() const override { return 768 * 15; }
  std::int32_t TwipsPerPixelX() const override { return 15; }
  std::int32_t TwipsPerPixelY() const override { return 15; }
  bool minimized = false, maximized = false;
  std::int32_t left = 1500, top = 1500, width = 6000, height = 4500;
};

}  // namespace

TEST_F(cINITest, ReadsGiveTheDefaultWhenMissingAndWritesTakeTheCallersNulsOut) {
  EXPECT_EQ(Read("a", "k"), "");
  ini.SetDefault("FAIL");
  EXPECT_EQ(Read("a", "k"), "FAIL");
  std::string text = "a\0b\0\0c"s;
  ini.SetValue(text);
  EXPECT_EQ(text, "abc");
  Write("one", "A", "1");
  EXPECT_EQ(ReadAll(path), "[a]\r\nk=abc\r\n[one]\r\nA=1\r\n");
  EXPECT_EQ((Names{Read("A", "K"), Read("a", "other"), Read("b", "k")}),
            (Names{"abc", "FAIL", "FAIL"}));
  EXPECT_EQ(ini.LastReturnCode(), 1);
}

// Regression: values and listings were once cut at 49,999 and 8,190 characters.
TEST_F(cINITest, LongValuesAndListingsComeBackWholeWithOneNulAfterEachName) {
  std::string longValue(200000, 'x');
  longValue.back() = 'z';
  Write("big", "description", longValue);
  EXPECT_EQ(Read("big", "description"), longValue);
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "[section" + std::to_string(i) + "]\r\nread=0\r\n";
  for (int i = 0; i < 100; ++i) text += std::string(100, 'k') + std::to_string(i) + "=1\r\n";
  WriteAll(path, text);
  ini.EnumerateAllSections(list, count);
  EXPECT_EQ((std::vector{list.size(), std::size_t(count)}), (std::vector<std::size_t>{5000, 5000}));
  EXPECT_EQ(list.back(), "section4999");
  ini.SetSection("section4999");
  ini.EnumerateCurrentSection(list, count);
  EXPECT_EQ((std::vector{list.size(), std::size_t(count)}), (std::vector<std::size_t>{101, 101}));
  EXPECT_EQ(list.back(), std::string(100, 'k') + "99");
  WriteAll(path, "");
  ini.EnumerateAllSections(list, count);
  EXPECT_EQ(list, Names{});
  EXPECT_EQ(count, 0);
  WriteAll(path, "[c]\r\nz=1\r\n=empty key\r\n[a]\r\n[]\r\nk=v\r\n[b]\r\n");
  EXPECT_EQ(ini.Sections(), "c\0a\0\0b\0"s);
  ini.EnumerateAllSections(list, count);
  EXPECT_EQ(list, (Names{"c", "a", "b"}));  // only this listing skips the empty name
  EXPECT_EQ(count, 3);
  ini.SetSection("C");
  EXPECT_EQ(ini.INISection(), "z\0\0"s);
  ini.EnumerateCurrentSection(list, count);
  EXPECT_EQ(list, (Names{"z", ""}));
  ini.EnumerateKeysInSection("x\0\0y\0tail"s, list, count);
  EXPECT_EQ(list, (Names{"x", "", "y"}));
  EXPECT_EQ(count, 3);
}

TEST_F(cINITest, DeletesAndFailedWritesSetTheReturnCodeThatReadsLeave) {
  WriteAll(path, "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n");
  ini.SetSection("a");
  ini.SetKey("X");
  ini.DeleteKey();
  ini.SetSection("B");
  ini.SetINISection("this text is not stored");
  ini.SetSection("nothing");
  ini.DeleteSection();  // deleting what is not there is no error
  EXPECT_EQ(ini.LastReturnCode(), 1);
  EXPECT_EQ(ReadAll(path), "[a]\r\ny=2\r\n");
  Write("s", "bad=key", "v");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(Read("a", "y"), "2");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  Write("s", "k", "v");
  ini.SetPath(folder.path());  // a folder, not a file
  Write("s", "k", "v");
  EXPECT_EQ(ini.LastReturnCode(), 0);
  EXPECT_EQ(Read("s", "k"), "");
}

// What hand-edited numbers read as: whole numbers, halves to even, else the fallback.
TEST(cINIConversion, CLngDefaultReadsWholeNumbersOrGivesTheFallback) {
  constexpr std::int32_t f = -77;
  // clang-format off
  const std::vector<std::pair<const char*, std::int32_t>> cases = {
      {"42", 42}, {" 2.5 ", 2}, {"3.5", 4}, {"-2.5", -2}, {"-3.5", -4}, {"2.500001", 3},
      {"+7", 7}, {"\t12 ", 12}, {"0000000000042", 42}, {".5", 0}, {"1.", 1},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483647.5", f},
      {"99999999999", f}, {"FAIL", f}, {"", f}, {"   ", f}, {"-", f}, {".", f}, {"12abc", f},
      {"1 2", f}, {"1e3", f}};
  // clang-format on
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(cINI::CLngDefault(text, f), expected) << "\"" << text << "\"";
}

TEST_F(cINITest, WindowPlacementsAreWrittenWholeAndComeBackOnScreen) {
  FakeWindow window;
  ini.SetSection("Main");
  window.minimized = true;
  ini.SaveFormPosition(window);
  EXPECT_EQ(fs::exists(path), false);
  window.minimized = false;
  ini.SaveFormPosition(window);
  EXPECT_EQ(ReadAll(path),
            "[Main]\r\nMaximised=0\r\nLeft=1500\r\nTop=1500\r\nWidth=6000\r\nHeight=4500\r\n");
  const struct {
    const char* stored;
    std::vector<std::int32_t> placement;
  } cases[] = {
      {"Left=300\r\nTop=450\r\nWidth=7000\r\nHeight=5000", {300, 450, 7000, 5000}},
      {"Width=10\r\nHeight=10", {1500, 1500, 3000, 2000}},  // raised to the minimum
      {"Left=-9000\r\nTop=0", {60, 60, 6000, 4500}},        // a 4-pixel margin
      {"Left=14000\r\nTop=11000\r\nWidth=7000\r\nHeight=5000", {8300, 6460, 7000, 5000}},
      {"Left=0\r\nWidth=99999", {60, 1500, 15240, 4500}},
      {"Left=abc\r\nTop=\r\nWidth=7000.5", {1500, 1500, 7000, 4500}},  // broken keeps its own
      {"Left=2147483647\r\nTop=-2147483648", {9300, 60, 6000, 4500}},
  };
  for (const auto& c : cases) {
    WriteAll(path, "[Main]\r\n"s + c.stored + "\r\n");
    FakeWindow loaded;
    ini.LoadFormPosition(loaded, 3000, 2000);
    EXPECT_EQ((std::vector{loaded.left, loaded.top, loaded.width, loaded.height}), c.placement)
        << c.stored;
  }
  WriteAll(path, "[Main]\r\nMaximised=1\r\n");
  ini.LoadFormPosition(window, 0, 0);
  EXPECT_EQ(window.maximized, true);
}
