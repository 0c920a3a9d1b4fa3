#include "subscriptions/DropBoxLogic.h"

#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <vector>

using DropBoxLogic::Placement;

namespace DropBoxLogic {
void PrintTo(const Placement& p, std::ostream* os) {
  *os << "{" << p.left << ", " << p.top << ", size " << p.size << ", trans " << p.trans << "}";
}
}  // namespace DropBoxLogic

namespace {

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

}  // namespace
