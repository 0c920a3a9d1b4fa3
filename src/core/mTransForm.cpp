#include "core/mTransForm.h"

#include "core/Services.h"
#include "core/mGeneralFunctions.h"

#include <cmath>
#include <exception>

namespace mTransForm {

int OpacityFromLevel(int level) {
  const double exact = (100.0 - level) / 100.0 * 255.0;
  // Round half to even: 229.5 -> 230, 178.5 -> 178.
  const double floorValue = std::floor(exact);
  const double fraction = exact - floorValue;
  double rounded = floorValue;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floorValue, 2.0) != 0.0)) rounded += 1.0;
  if (rounded < 0.0 || rounded > 255.0) return 1;
  return static_cast<int>(rounded);
}

bool IsTransparencySupported() {
  try {
    return Services::WindowSystem().OpacitySupported();
  } catch (const std::logic_error&) {
    throw;
  } catch (const std::exception& e) {
    Services::MessageBox().Show(
        std::string("Error while loading.\r\n\r\nError No. : 0\r\n\r\nDescription : ") + e.what(),
        "Error!", Services::vbInformation);
    return false;
  }
}

void SetTransparency(IOpacityTarget& window, int level) {
  try {
    window.SetOpacity(OpacityFromLevel(level));
  } catch (const std::exception& e) {
    window.ClearOpacity();
    mGeneralFunctions::ReportError({5, e.what()}, "Error ! (Source : SetTransparency)");
  }
}

}  // namespace mTransForm
