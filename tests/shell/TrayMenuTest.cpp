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

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(TrayMenuTest, ItemsAddRemoveAndChangeByIndex) {
  TrayMenu menu;
  // Item 0 is there from the start, not shown until the first add fills it.
  EXPECT_EQ(Items(menu), std::vector<std::string>{"/*"});
  EXPECT_EQ(menu.AddMenuItem("Show", "show"), 0);
  EXPECT_EQ(menu.AddMenuItem("-"), 1);
  EXPECT_EQ(menu.AddMenuItem("Check", "check", true), 2);
  EXPECT_EQ(menu.AddMenuItem("Exit", "exit"), 3);
  EXPECT_EQ(Items(menu),
            (std::vector<std::string>{"Show/show+", "-/", "Check/check+*", "Exit/exit+"}));

  struct Row {
    const char* name;
    void (*change)(TrayMenu&);
    std::vector<std::string> items;
  };
  const std::vector<Row> rows{
      {"disabled item cannot be chosen",
       [](TrayMenu& m) { m.EnableMenuItem(3, false); },
       {"Show/show+", "-/", "Check/check+*", "Exit/exit"}},
      {"out of range ignored",
       [](TrayMenu& m) {
         m.EnableMenuItem(8, false);
         m.SetCaption(5, "x");
         m.RemoveMenuItem(-1);
       },
       {"Show/show+", "-/", "Check/check+*", "Exit/exit"}},
      {"caption changes, key stays",
       [](TrayMenu& m) { m.SetCaption(0, "Hide"); },
       {"Hide/show+", "-/", "Check/check+*", "Exit/exit"}},
      // The disabled state moves with its item; the default left past the end falls back to 0.
      {"removal moves later items down",
       [](TrayMenu& m) {
         m.SetDefaultMenuIndex(3);
         m.RemoveMenuItem(1);
       },
       {"Hide/show+*", "Check/check+", "Exit/exit"}},
      {"default outside the list is 0",
       [](TrayMenu& m) {
         m.SetDefaultMenuIndex(2);
         m.SetDefaultMenuIndex(7);
       },
       {"Hide/show+*", "Check/check+", "Exit/exit"}},
      {"item 0 is only cleared",
       [](TrayMenu& m) {
         m.SetDefaultMenuIndex(1);
         m.RemoveMenuItem(0);
       },
       {"/show+", "Check/check+*", "Exit/exit"}},
  };
  for (const Row& row : rows) {
    row.change(menu);
    EXPECT_EQ(Items(menu), row.items) << row.name;
  }
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
  const std::string euro = "\xE2\x82\xAC";
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
      {"stray byte kept as one character", "a\xFF", &TrayText::FitToolTip, "a\xFF"},
      {"truncated sequence counted per byte", Repeat("x", 125) + "\xE2\x82", &TrayText::FitToolTip,
       Repeat("x", 125) + "\xE2\x82"},
      {"three-byte character not split at the limit", Repeat("x", 126) + euro,
       &TrayText::FitToolTip, Repeat("x", 126) + euro},
      {"three-byte character past the limit left out", Repeat("x", 127) + euro,
       &TrayText::FitToolTip, Repeat("x", 127)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fit(c.text), c.expected) << c.name;
  EXPECT_EQ(TrayText::Utf16Units(Repeat(grin, 3) + e + "a"), 8u);
}

TEST(TrayTextTest, BalloonIconNumbersOutsideTheFourAreRefused) {
  std::vector<std::optional<BalloonIcon>> icons;
  for (int number = -1; number <= 4; ++number) icons.push_back(BalloonIconFromInt(number));
  EXPECT_EQ(icons, (std::vector<std::optional<BalloonIcon>>{
                       std::nullopt, BalloonIcon::None, BalloonIcon::Information,
                       BalloonIcon::Warning, BalloonIcon::Error, std::nullopt}));
}

}  // namespace
