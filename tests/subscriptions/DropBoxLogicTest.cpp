#include "subscriptions/DropBoxLogic.h"

#include "config/mSettings.h"
#include "subscriptions/SourceLink.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <vector>

using DropBoxLogic::Placement;
using TestSupport::ShownBox;

namespace DropBoxLogic {
void PrintTo(const Placement& p, std::ostream* os) {
  *os << "{" << p.left << ", " << p.top << ", size " << p.size << ", trans " << p.trans << "}";
}
}  // namespace DropBoxLogic

namespace {

TEST(DropBoxLogicTest, PlacementIsStoredInTwipsAndComesBackInsideTheMenus) {
  TestSupport::FakePlatform platform;
  EXPECT_EQ(DropBoxLogic::LoadPlacement({}), (Placement{0, 0, 2, 1}));  // nothing stored yet
  DropBoxLogic::StorePlacement({150, 90, 0, 3});
  EXPECT_EQ((std::vector<int>{mSettings::DropBoxLeft, mSettings::DropBoxTop, mSettings::DropBoxSize,
                              mSettings::DropBoxTrans}),
            (std::vector<int>{2250, 1350, 0, 3}));
  EXPECT_EQ(DropBoxLogic::LoadPlacement({}), (Placement{150, 90, 0, 3}));
}

// Catches a box kept where no screen shows it any more.
TEST(DropBoxLogicTest, ABoxOffEveryScreenOpensOnTheFirst) {
  TestSupport::FakePlatform platform;
  const std::vector<DropBoxLogic::Rect> twoScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  DropBoxLogic::StorePlacement({2000, 500, 1, 3});
  EXPECT_EQ(DropBoxLogic::LoadPlacement(twoScreens), (Placement{2000, 500, 1, 3}));
  // The second screen gone.
  EXPECT_EQ(DropBoxLogic::LoadPlacement({{100, 50, 1920, 1080}}), (Placement{100, 50, 1, 3}));
  // Nothing known about the screens: the stored place.
  EXPECT_EQ(DropBoxLogic::LoadPlacement({}), (Placement{2000, 500, 1, 3}));
}

TEST(DropBoxLogicTest, OnlyTextNamingTheServiceHostIsTaken) {
  TestSupport::FakePlatform platform;
  const ShownBox noLink{
      "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!",
      "Drag-n-Drop Quillpost Link ...", 64};
  const ShownBox invalid{SourceLink::kInvalidLinkText, SourceLink::kInvalidLinkTitle, 48};
  struct Row {
    bool offersText;
    std::string text;
    bool taken;
    std::vector<ShownBox> boxes;
  };
  const std::vector<Row> rows{
      {true, "HTTP://NEWS.QUILLPOST.TEST/Channel/AbC", true, {}},
      {true, "https://example.org/feed.xml", false, {invalid}},
      {false, "", false, {noLink}},
  };
  for (const Row& row : rows) {
    platform.messageBox.shown.clear();
    EXPECT_EQ(DropBoxLogic::AcceptDrop(row.offersText, row.text), row.taken) << row.text;
    EXPECT_EQ(platform.messageBox.shown, row.boxes) << row.text;
  }
}

}  // namespace
