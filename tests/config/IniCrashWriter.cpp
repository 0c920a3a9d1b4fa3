// Flips one entry of an INI file between two values through cINI, forever, reporting each
// completed rewrite on standard output. The crash test kills it at random moments.

#include "config/cINI.h"

#include "IniCrashShared.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <ini file>\n", argv[0]);
    return 2;
  }
  cINI ini;
  ini.SetPath(argv[1]);
  ini.SetSection(IniCrash::kSection);
  ini.SetKey(IniCrash::kKey);
  std::string current = ini.Value();
  std::fputc(IniCrash::kReady, stdout);
  std::fflush(stdout);
  for (;;) {
    std::string next = current == IniCrash::ValueA() ? IniCrash::ValueB() : IniCrash::ValueA();
    std::string text = next;
    ini.SetValue(text);
    if (!ini.Success()) return 1;
    current = next;
    std::fputc(IniCrash::kRewritten, stdout);
    std::fflush(stdout);
  }
}
