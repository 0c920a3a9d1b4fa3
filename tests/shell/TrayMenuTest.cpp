#include "shell/TrayMenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every item as "caption/key", "+" when it can be chosen, "*" for the default.
std::vector<std::string> Items(const TrayMenu& menu) {
  std::vector<std::string> items;
  for (int i = 0; i < menu.Count(); ++i) {
    items.push_back(menu.Caption(i) + "/" + menu.Key(i) + (menu.CanChoose(i) ? "+" : "") +
                    (menu.DefaultMenuIndex() == i ? "*" : ""));
  }
  return items;
}

TEST(TrayMenuTest, ItemsAddRemoveAndChangeByIndex) {
  TrayMenu menu;
  // Item 0 is there from the start, not shown until the first add fills it.
  EXPECT_EQ(Items(menu), std::vector<std::string>{"/*"});
  EXPECT_EQ(menu.AddMenuItem("Show", "show"), 0);
  EXPECT_EQ(menu.AddMenuItem("-"), 1);
  EXPECT_EQ(menu.AddMenuItem("Check", "check", true), 2);
  EXPECT_EQ(menu.AddMenuItem("Exit", "exit"), 3);
  menu.EnableMenuItem(3, false);
  menu.EnableMenuItem(8, false);  // out of range: ignored, as the next two
  menu.SetCaption(5, "x");
  menu.RemoveMenuItem(-1);
  menu.SetCaption(0, "Hide");
  EXPECT_EQ(Items(menu),
            (std::vector<std::string>{"Hide/show+", "-/", "Check/check+*", "Exit/exit"}));
  // Later items move down whole; a default left past the end falls back to 0, as one set outside.
  menu.SetDefaultMenuIndex(3);
  menu.RemoveMenuItem(1);
  EXPECT_EQ(Items(menu), (std::vector<std::string>{"Hide/show+*", "Check/check+", "Exit/exit"}));
  menu.SetDefaultMenuIndex(1);
  menu.SetDefaultMenuIndex(7);
  EXPECT_EQ(menu.DefaultMenuIndex(), 0);
  menu.RemoveMenuItem(0);  // item 0 is only cleared
  EXPECT_EQ(Items(menu), (std::vector<std::string>{"/show+*", "Check/check+", "Exit/exit"}));
}

TEST(TrayTextTest, FieldsKeepWholeCharactersUpToTheirLimit) {
  const std::string e = "\xC3\xA9";             // é: one unit, two bytes
  const std::string grin = "\xF0\x9F\x98\x80";  // U+1F600: two units, four bytes
  const std::string euro = "\xE2\x82\xAC";
  // Cut to four UTF-16 units; the fields' own limits are applied in SysTrayTest.
  const std::vector<std::pair<std::string, std::string>> cases{
      {"abcdef", "abcd"},
      {e + e + e + e + e, e + e + e + e},  // two-byte characters count once
      {"x" + grin + grin, "x" + grin},     // a pair that would pass the limit is left out
      {"xx" + grin, "xx" + grin},
      {std::string("ab\0cd", 5), "ab"},  // cut at the first NUL
      {"a\xFF", "a\xFF"},                // a stray byte is kept as one character
      {"xx\xE2\x82y", "xx\xE2\x82"},     // a truncated sequence counts per byte
      {"xxx" + euro, "xxx" + euro},
      {"xxxx" + euro, "xxxx"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(TrayText::CutToUtf16Units(text, 4), expected) << text;
  EXPECT_EQ(TrayText::Utf16Units(grin + grin + grin + e + "a"), 8u);
}

TEST(TrayTextTest, BalloonIconNumbersOutsideTheFourAreRefused) {
  std::vector<std::optional<BalloonIcon>> icons;
  for (int number = -1; number <= 4; ++number) icons.push_back(BalloonIconFromInt(number));
  EXPECT_EQ(icons, (std::vector<std::optional<BalloonIcon>>{
                       std::nullopt, BalloonIcon::None, BalloonIcon::Information,
                       BalloonIcon::Warning, BalloonIcon::Error, std::nullopt}));
}

}  // namespace
