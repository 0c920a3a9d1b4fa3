#include "subscriptions/DropBoxLogic.h"

#include "config/mSettings.h"
#include "subscriptions/SourceLink.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

using DropBoxLogic::Placement;
using TestSupport::ShownBox;

namespace DropBoxLogic {
void PrintTo(const Placement& p, std::ostream* os) {
  *os << "{" << p.left << ", " << p.top << ", size " << p.size << ", trans " << p.trans << "}";
}
}  // namespace DropBoxLogic

namespace {

// Catches a box kept where no screen shows it any more.
TEST(DropBoxLogicTest, PlacementIsStoredInTwipsAndABoxOffEveryScreenOpensOnTheFirst) {
  TestSupport::FakePlatform platform;
  EXPECT_EQ(DropBoxLogic::LoadPlacement({}), (Placement{0, 0, 2, 1}));  // nothing stored yet
  DropBoxLogic::StorePlacement({2000, 500, 1, 3});
  EXPECT_EQ((std::vector<int>{mSettings::DropBoxLeft, mSettings::DropBoxTop, mSettings::DropBoxSize,
                              mSettings::DropBoxTrans}),
            (std::vector<int>{30000, 7500, 1, 3}));
  const std::vector<DropBoxLogic::Rect> twoScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
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
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "HTTP://NEWS.QUILLPOST.TEST/Channel/AbC"), true);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "https://example.org/feed.xml"), false);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(false, ""), false);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{invalid, noLink}));
}

}  // namespace
