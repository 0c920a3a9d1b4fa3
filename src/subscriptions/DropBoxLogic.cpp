#include "subscriptions/DropBoxLogic.h"

#include "config/mSettings.h"
#include "core/Services.h"
#include "subscriptions/SourceLink.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace DropBoxLogic {

namespace {

bool Contains(const Rect& screen, int x, int y) {
  return x >= screen.left && y >= screen.top && x < screen.left + screen.width &&
         y < screen.top + screen.height;
}

}  // namespace

int SizeIndex(int index) { return std::clamp(index, 0, static_cast<int>(kSizes.size()) - 1); }

int TransIndex(int index) {
  return std::clamp(index, 0, static_cast<int>(kTransparencies.size()) - 1);
}

int WindowTwips(int sizeIndex) {
  return kSizes[static_cast<std::size_t>(SizeIndex(sizeIndex))].frameTwips + kWindowMarginTwips;
}

int TransparencyLevel(int transIndex) { return TransIndex(transIndex) * 10; }

int PixelsFromTwips(int twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

std::int16_t TwipsFromPixels(int pixels) {
  const long long twips = static_cast<long long>(pixels) * kTwipsPerPixel;
  return static_cast<std::int16_t>(std::clamp<long long>(
      twips, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

Placement LoadPlacement(const std::vector<Rect>& screens) {
  mSettings::LoadDropBoxSettings();
  Placement placement;
  placement.left = PixelsFromTwips(mSettings::DropBoxLeft);
  placement.top = PixelsFromTwips(mSettings::DropBoxTop);
  placement.size = SizeIndex(mSettings::DropBoxSize);
  placement.trans = TransIndex(mSettings::DropBoxTrans);

  const int half = PixelsFromTwips(WindowTwips(placement.size)) / 2;
  const bool reachable =
      screens.empty() || std::any_of(screens.begin(), screens.end(), [&](const Rect& screen) {
        return Contains(screen, placement.left + half, placement.top + half);
      });
  if (!reachable) {
    placement.left = screens.front().left;
    placement.top = screens.front().top;
  }
  return placement;
}

Placement ClearOfMenus(Placement placement, int side, const Rect& menus, const Rect& window,
                       const Rect& screen) {
  const auto overlaps = [side](int left, int top, const Rect& r) {
    return left < r.left + r.width && left + side > r.left && top < r.top + r.height &&
           top + side > r.top;
  };
  if (!overlaps(placement.left, placement.top, menus)) return placement;
  const auto fits = [&](int left) {
    return left >= screen.left && left + side <= screen.left + screen.width;
  };
  const int right = window.left + window.width;
  const int left = window.left - side;
  if (fits(right)) {
    placement.left = right;
  } else if (fits(left)) {
    placement.left = left;
  } else {
    placement.left = std::max(screen.left, right - side);
    placement.top = menus.top + menus.height;
    return placement;
  }
  placement.top = std::clamp(menus.top, screen.top, screen.top + screen.height - side);
  return placement;
}

void StorePlacement(const Placement& placement) {
  mSettings::DropBoxLeft = TwipsFromPixels(placement.left);
  mSettings::DropBoxTop = TwipsFromPixels(placement.top);
  mSettings::DropBoxSize = static_cast<std::int16_t>(SizeIndex(placement.size));
  mSettings::DropBoxTrans = static_cast<std::int16_t>(TransIndex(placement.trans));
  mSettings::SaveDropBoxSettings();
}

bool AcceptDrop(bool offersText, const std::string& text) {
  if (!offersText) {
    Services::MessageBox().Show(kNoLinkText, kNoLinkTitle, Services::vbInformation);
    return false;
  }
  if (!SourceLink::NamesServiceHost(text) || !SourceLink::Normalized(text)) {
    Services::MessageBox().Show(SourceLink::kInvalidLinkText, SourceLink::kInvalidLinkTitle,
                                Services::vbExclamation);
    return false;
  }
  return true;
}

}  // namespace DropBoxLogic
