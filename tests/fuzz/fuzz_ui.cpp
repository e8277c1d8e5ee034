// The user-interface seams for fuzz targets: nothing to show, nobody to press Cancel or answer.
#include "unpacker/container/user_interface.h"
#include "unpacker/extract/extraction_ui.h"

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
