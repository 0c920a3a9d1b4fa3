#include "subscriptions/DropBoxLogic.h"

#include "config/mSettings.h"
#include "core/mTransForm.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using DropBoxLogic::Placement;
using DropBoxLogic::Rect;
using TestSupport::FakePlatform;
using TestSupport::ShownBox;

namespace DropBoxLogic {
void PrintTo(const Placement& p, std::ostream* os) {
  *os << "{" << p.left << ", " << p.top << ", size " << p.size << ", trans " << p.trans << "}";
}
}  // namespace DropBoxLogic

namespace {

TEST(DropBoxLogicTest, SizesAndTransparencyLevels) {
  std::vector<int> windows, pixels, opacities;
  for (int size = 0; size < 3; ++size) {
    windows.push_back(DropBoxLogic::WindowTwips(size));
    pixels.push_back(DropBoxLogic::PixelsFromTwips(DropBoxLogic::WindowTwips(size)));
  }
  for (int trans = 0; trans < 4; ++trans)
    opacities.push_back(mTransForm::OpacityFromLevel(DropBoxLogic::TransparencyLevel(trans)));
  EXPECT_EQ(windows, (std::vector<int>{610, 760, 985}));
  EXPECT_EQ(pixels, (std::vector<int>{41, 51, 66}));
  EXPECT_EQ(opacities, (std::vector<int>{255, 230, 204, 178}));
  // Indexes from a hand-edited file stay inside the menus.
  EXPECT_EQ(DropBoxLogic::WindowTwips(9), 985);
  EXPECT_EQ(DropBoxLogic::TransparencyLevel(-4), 0);
}

TEST(DropBoxLogicTest, PositionsBeyondSixteenBitsOfTwipsAreClamped) {
  EXPECT_EQ(DropBoxLogic::TwipsFromPixels(150), 2250);
  EXPECT_EQ(DropBoxLogic::TwipsFromPixels(-10), -150);
  EXPECT_EQ(DropBoxLogic::TwipsFromPixels(2184), 32760);
  EXPECT_EQ(DropBoxLogic::TwipsFromPixels(2185), 32767);
  EXPECT_EQ(DropBoxLogic::TwipsFromPixels(-5000), -32768);
}

class DropBoxPlacementTest : public ::testing::Test {
 protected:
  FakePlatform platform;
  const std::vector<Rect> screens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
};

TEST_F(DropBoxPlacementTest, WithoutSettingsItOpensLargeAndLowAtTheTopLeft) {
  EXPECT_EQ(DropBoxLogic::LoadPlacement(screens), (Placement{0, 0, 2, 1}));
  EXPECT_EQ(std::filesystem::exists(mSettings::SettingsFile()), false);
}

TEST_F(DropBoxPlacementTest, StoredPlacementComesBack) {
  DropBoxLogic::StorePlacement({150, 90, 0, 3});
  EXPECT_EQ(TestSupport::ReadAll(mSettings::SettingsFile()),
            "[dropbox]\r\nleft=2250\r\ntop=1350\r\ntrans=3\r\nsize=0\r\n");
  EXPECT_EQ(DropBoxLogic::LoadPlacement(screens), (Placement{150, 90, 0, 3}));
}

TEST_F(DropBoxPlacementTest, ABoxOffEveryScreenComesBackToTheFirst) {
  // On the second screen: kept.
  DropBoxLogic::StorePlacement({2000, 500, 1, 1});
  EXPECT_EQ(DropBoxLogic::LoadPlacement(screens), (Placement{2000, 500, 1, 1}));
  // That screen gone.
  EXPECT_EQ(DropBoxLogic::LoadPlacement({{0, 0, 1920, 1080}}), (Placement{0, 0, 1, 1}));
  // Mostly off the left edge: its middle is nowhere.
  DropBoxLogic::StorePlacement({-40, 10, 2, 1});
  EXPECT_EQ(DropBoxLogic::LoadPlacement({{100, 50, 800, 600}}), (Placement{100, 50, 2, 1}));
  // Nothing known about the screens: the stored place.
  EXPECT_EQ(DropBoxLogic::LoadPlacement({}), (Placement{-40, 10, 2, 1}));
}

TEST(DropBoxDropTest, OnlyTextNamingTheServiceHostIsTaken) {
  FakePlatform platform;
  const ShownBox invalidLink{DropBoxLogic::kInvalidLinkText, "Invalid Quillpost Source Link.", 48};
  const ShownBox noLink{
      "Invalid link dropped! Please Drag any Quillpost URL to this DropBox and Subscribe!",
      "Drag-n-Drop Quillpost Link ...", 64};

  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "HTTPS://News.QuillPost.TEST/Feeds/42"), true);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "see news.quillpost.test somewhere"), true);
  EXPECT_EQ(platform.messageBox.shown.empty(), true);

  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, "https://example.org/news.quillpost"), false);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(true, ""), false);
  EXPECT_EQ(DropBoxLogic::AcceptDrop(false, "news.quillpost.test"), false);
  EXPECT_EQ(platform.messageBox.shown, (std::vector<ShownBox>{invalidLink, invalidLink, noLink}));
  EXPECT_EQ(std::string(DropBoxLogic::kInvalidLinkText),
            "Invalid Quillpost Message Source Link. Please specify a correct Quillpost Source "
            "Link in \"Source Link\" field.");
}

}  // namespace
