// The core's user-interface seam for mksfx: messages go to stderr; there is no window whose
// messages would need pumping.
#include <cstdio>

#include "unpacker/container/user_interface.h"

void ShowMessage(const char* ansiPath, const char* utf8Text, MessageIcon) {
  if (ansiPath)
    std::fprintf(stderr, "mksfx: %s : %s\n", ansiPath, utf8Text);
  else
    std::fprintf(stderr, "mksfx: %s\n", utf8Text);
}

void PumpOneMessage() {}
