// The user-interface seams for fuzz targets: nothing to show, nobody to press Cancel or answer.
#include "tests/fuzz/fuzz_ui.h"

#include <cstdlib>

#include "unpacker/container/user_interface.h"
#include "unpacker/extract/extraction_ui.h"

void Check(bool promise) {
  if (!promise) std::abort();
}

void ShowMessage(const char*, const char*, MessageIcon) {}
void PumpOneMessage() {}
bool ShowPasswordDialog() {
  return false;
}
bool AskToReplace(const char*, const ExistingFile&, uint64_t, uint32_t) {
  return false;
}
void MessageStep() {}
void EnableExtractionControls(bool) {}
void PostCloseCommand() {}
