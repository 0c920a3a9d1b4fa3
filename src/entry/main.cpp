#include "entry/DesktopEntry.h"

int main(int argc, char** argv) { return DesktopEntry::Run(argc, argv); }
