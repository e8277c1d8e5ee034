// The system folders on Windows.
#include <windows.h>

#include "unpacker/extract/system_folders.h"

// The three functions return the length without the NUL when the folder fits, the size needed
// (with the NUL) when it does not, and 0 on failure; the seam passes on only the first.
static uint32_t FittingLength(UINT length, uint32_t size) {
  return length < size ? length : 0;
}

uint32_t WindowsFolder(char* buffer, uint32_t size) {
  return FittingLength(GetWindowsDirectoryA(buffer, size), size);
}

uint32_t SystemFolder(char* buffer, uint32_t size) {
  return FittingLength(GetSystemDirectoryA(buffer, size), size);
}

uint32_t TempFolder(char* buffer, uint32_t size) {
  return FittingLength(GetTempPathA(size, buffer), size);
}
