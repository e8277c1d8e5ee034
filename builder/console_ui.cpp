// The core's user-interface seam for mksfx: messages go to stderr; there is no window whose
// messages would need pumping.
#include <cstdio>

#include "unpacker/container/user_interface.h"

void ShowMessage(const char* utf8Path, const char* utf8Text, MessageIcon) {
  if (utf8Path)
    std::fprintf(stderr, "mksfx: %s : %s\n", utf8Path, utf8Text);
  else
    std::fprintf(stderr, "mksfx: %s\n", utf8Text);
}

void PumpOneMessage() {}
