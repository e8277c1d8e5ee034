// The user-interface seam for fuzz targets: nothing to show, nobody to press Cancel.
#include "unpacker/container/user_interface.h"

void ShowMessage(const char*, const char*, MessageIcon) {}
void PumpOneMessage() {}
