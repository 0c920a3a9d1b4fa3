#include "shell/TrayMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Captions(const TrayMenu& menu) {
  std::vector<std::string> captions;
  for (int i = 0; i < menu.Count(); ++i) captions.push_back(menu.Caption(i));
  return captions;
}

std::vector<std::string> Keys(const TrayMenu& menu) {
  std::vector<std::string> keys;
  for (int i = 0; i < menu.Count(); ++i) keys.push_back(menu.Key(i));
  return keys;
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

}  // namespace

TEST(TrayMenuTest, FirstAddFillsTheInitialItemAndLaterAddsAppend) {
  TrayMenu menu;
  EXPECT_EQ(menu.Count(), 1);
  EXPECT_EQ(menu.Caption(0), "");
  EXPECT_FALSE(menu.CanChoose(0));  // the initial item is not shown until it is added

  EXPECT_EQ(menu.AddMenuItem("Show", "show", true), 0);
  EXPECT_EQ(menu.AddMenuItem("-"), 1);
  EXPECT_EQ(menu.AddMenuItem("Exit", "exit"), 2);

  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"Show", "-", "Exit"}));
  EXPECT_EQ(Keys(menu), (std::vector<std::string>{"show", "", "exit"}));
  EXPECT_EQ(menu.DefaultMenuIndex(), 0);
  EXPECT_TRUE(menu.At(0).visible);
}

TEST(TrayMenuTest, DefaultIndexOutsideTheListFallsBackToZero) {
  TrayMenu menu;
  menu.AddMenuItem("A", "a");
  menu.AddMenuItem("B", "b", true);
  menu.AddMenuItem("C", "c");
  EXPECT_EQ(menu.DefaultMenuIndex(), 1);

  menu.SetDefaultMenuIndex(2);
  EXPECT_EQ(menu.DefaultMenuIndex(), 2);
  menu.SetDefaultMenuIndex(7);
  EXPECT_EQ(menu.DefaultMenuIndex(), 0);
  menu.SetDefaultMenuIndex(2);
  menu.SetDefaultMenuIndex(-1);
  EXPECT_EQ(menu.DefaultMenuIndex(), 0);

  // A default left past the end by a removal does not point at nothing.
  menu.SetDefaultMenuIndex(2);
  menu.RemoveMenuItem(1);
  EXPECT_EQ(menu.DefaultMenuIndex(), 0);
}

TEST(TrayMenuTest, RemovingMovesLaterItemsDownAndOnlyClearsItemZero) {
  TrayMenu menu;
  menu.AddMenuItem("A", "a");
  menu.AddMenuItem("B", "b");
  menu.AddMenuItem("C", "c");
  menu.EnableMenuItem(2, false);

  EXPECT_EQ(menu.RemoveMenuItem(1), 0);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(Keys(menu), (std::vector<std::string>{"a", "c"}));
  // The disabled state went with C, not stayed at its old place.
  EXPECT_FALSE(menu.At(1).enabled);

  EXPECT_EQ(menu.RemoveMenuItem(0), 0);
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"", "C"}));
  EXPECT_EQ(Keys(menu), (std::vector<std::string>{"a", "c"}));

  EXPECT_EQ(menu.RemoveMenuItem(9), 0);
  EXPECT_EQ(menu.RemoveMenuItem(-1), 0);
  EXPECT_EQ(menu.Count(), 2);
}

TEST(TrayMenuTest, OnlyShownEnabledNonSeparatorItemsCanBeChosen) {
  TrayMenu menu;
  menu.AddMenuItem("Show", "show");
  menu.AddMenuItem("-");
  menu.AddMenuItem("Exit", "exit");
  menu.EnableMenuItem(2, false);
  menu.EnableMenuItem(8, false);  // ignored

  EXPECT_TRUE(menu.CanChoose(0));
  EXPECT_TRUE(menu.IsSeparator(1));
  EXPECT_FALSE(menu.CanChoose(1));
  EXPECT_FALSE(menu.CanChoose(2));
  EXPECT_FALSE(menu.CanChoose(3));

  menu.EnableMenuItem(2, true);
  EXPECT_TRUE(menu.CanChoose(2));
  menu.SetCaption(0, "Hide");
  menu.SetCaption(5, "nowhere");
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"Hide", "-", "Exit"}));
}

struct FitCase {
  const char* name;
  std::string text;
  std::string (*fit)(const std::string&);
  std::string expected;
};

TEST(TrayTextTest, FieldsKeepWholeCharactersUpToTheirLimit) {
  const std::string e = "\xC3\xA9";             // é: one unit, two bytes
  const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600: two units, four bytes
  const std::vector<FitCase> cases{
      {"short tip unchanged", "Quillpost", &TrayText::FitToolTip, "Quillpost"},
      {"200-character tip keeps 127", Repeat("x", 200), &TrayText::FitToolTip, Repeat("x", 127)},
      {"two-byte characters count once", Repeat(e, 200), &TrayText::FitToolTip, Repeat(e, 127)},
      {"a pair that would pass the limit is left out", Repeat(grin, 100), &TrayText::FitToolTip,
       Repeat(grin, 63)},
      {"pair exactly at the limit stays", "x" + Repeat(grin, 63), &TrayText::FitToolTip,
       "x" + Repeat(grin, 63)},
      {"balloon title keeps 63", Repeat("t", 80), &TrayText::FitBalloonTitle, Repeat("t", 63)},
      {"balloon message keeps 255", Repeat("m", 300), &TrayText::FitBalloonMessage,
       Repeat("m", 255)},
      {"cut at the first NUL", std::string("ab\0cd", 5), &TrayText::FitToolTip, "ab"},
      {"stray byte kept as one character",
       "a\xFF"
       "b",
       &TrayText::FitToolTip,
       "a\xFF"
       "b"},
      {"truncated sequence counted per byte", Repeat("x", 125) + "\xE2\x82", &TrayText::FitToolTip,
       Repeat("x", 125) + "\xE2\x82"},
      {"three-byte character not split at the limit", Repeat("x", 126) + "\xE2\x82\xAC",
       &TrayText::FitToolTip, Repeat("x", 126) + "\xE2\x82\xAC"},
      {"three-byte character past the limit left out", Repeat("x", 127) + "\xE2\x82\xAC",
       &TrayText::FitToolTip, Repeat("x", 127)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string fitted = c.fit(c.text);
    EXPECT_EQ(fitted, c.expected);
  }
  EXPECT_EQ(TrayText::Utf16Units(Repeat(grin, 3) + e + "a"), 8u);
}

TEST(TrayTextTest, BalloonIconNumbersOutsideTheFourAreRefused) {
  EXPECT_EQ(BalloonIconFromInt(0), BalloonIcon::None);
  EXPECT_EQ(BalloonIconFromInt(1), BalloonIcon::Information);
  EXPECT_EQ(BalloonIconFromInt(2), BalloonIcon::Warning);
  EXPECT_EQ(BalloonIconFromInt(3), BalloonIcon::Error);
  EXPECT_EQ(BalloonIconFromInt(4), std::nullopt);
  EXPECT_EQ(BalloonIconFromInt(-1), std::nullopt);
}
