#pragma once
// Translucent windows: the opacity for a transparency level, and applying it through a small
// window interface so that the rule is testable without a display.

#include <cstdint>

namespace mTransForm {

// Opacity 0..255 for a level in percent: (100 - level) / 100 * 255, half to even;
// anything outside 0..255 gives 1.
int OpacityFromLevel(int level);

// What SetTransparency needs of a window.
class IOpacityTarget {
 public:
  virtual ~IOpacityTarget() = default;
  virtual void SetOpacity(int opacity0to255) = 0;
  // Makes the window fully opaque again after a failure.
  virtual void ClearOpacity() = 0;
};

bool IsTransparencySupported();
void SetTransparency(IOpacityTarget& window, int level);

}  // namespace mTransForm
