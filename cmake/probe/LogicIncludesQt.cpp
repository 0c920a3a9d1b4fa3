// Compiled with the logic library's include path plus Qt's: must fail (see src/CMakeLists.txt).
#include <QString>

int ProbeLogicIncludesQt() { return QString().size(); }
