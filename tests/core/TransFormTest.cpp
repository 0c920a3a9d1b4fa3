#include "core/mTransForm.h"
#include "support/FakeServices.h"

#include <gtest/gtest.h>

#include <stdexcept>

using TestSupport::FakePlatform;

TEST(Transparency, LevelsGiveOpacitiesRoundedHalfToEven) {
  EXPECT_EQ(mTransForm::OpacityFromLevel(0), 255);
  EXPECT_EQ(mTransForm::OpacityFromLevel(10), 230);  // 229.5
  EXPECT_EQ(mTransForm::OpacityFromLevel(20), 204);
  EXPECT_EQ(mTransForm::OpacityFromLevel(30), 178);  // 178.5
  EXPECT_EQ(mTransForm::OpacityFromLevel(100), 0);
}

TEST(Transparency, OutOfRangeLevelsGiveOpacityOne) {
  EXPECT_EQ(mTransForm::OpacityFromLevel(101), 1);
  EXPECT_EQ(mTransForm::OpacityFromLevel(-1), 1);
  EXPECT_EQ(mTransForm::OpacityFromLevel(-32768), 1);
}

namespace {
struct FakeWindow : mTransForm::IOpacityTarget {
  void SetOpacity(int opacity) override {
    if (fail) throw std::runtime_error("no layered windows");
    applied = opacity;
  }
  void ClearOpacity() override { cleared = true; }
  bool fail = false;
  bool cleared = false;
  int applied = -1;
};
}  // namespace

TEST(Transparency, AppliedOpacityAndFailureLeavesWindowOpaqueWithReport) {
  FakePlatform platform;
  FakeWindow window;
  mTransForm::SetTransparency(window, 10);
  EXPECT_EQ(window.applied, 230);
  EXPECT_TRUE(platform.messageBox.shown.empty());

  FakeWindow broken;
  broken.fail = true;
  mTransForm::SetTransparency(broken, 10);
  EXPECT_TRUE(broken.cleared);
  ASSERT_EQ(platform.messageBox.shown.size(), 1u);
  EXPECT_EQ(platform.messageBox.shown[0].title, "Error ! (Source : SetTransparency)");
  EXPECT_EQ(platform.messageBox.shown[0].style, 64);
  EXPECT_EQ(platform.messageBox.shown[0].text, "5 : \r\n\r\nno layered windows");
}

TEST(Transparency, SupportIsAskedOfTheDesktopSilently) {
  FakePlatform platform;
  platform.windowSystem.supported = false;
  EXPECT_FALSE(mTransForm::IsTransparencySupported());
  platform.windowSystem.supported = true;
  EXPECT_TRUE(mTransForm::IsTransparencySupported());
  EXPECT_TRUE(platform.messageBox.shown.empty());
}
