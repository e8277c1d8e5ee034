// The system folders on Linux: fixed texts that tests can change.
#include "unpacker/extract/native/native_system_folders.h"

#include <cstring>

#include "unpacker/extract/system_folders.h"

namespace {

const char* const kWindows = "C:\\windows";
const char* const kSystem = "C:\\windows\\system32";
const char* const kTemp = "C:\\users\\user\\Temp\\";

const char* windowsFolder = kWindows;
const char* systemFolder = kSystem;
const char* tempFolder = kTemp;

uint32_t CopyFolder(const char* folder, char* buffer, uint32_t size) {
  if (!folder) return 0;
  const size_t length = std::strlen(folder);
  if (length + 1 > size) return 0;
  std::memcpy(buffer, folder, length + 1);
  return uint32_t(length);
}

}  // namespace

uint32_t WindowsFolder(char* buffer, uint32_t size) {
  return CopyFolder(windowsFolder, buffer, size);
}

uint32_t SystemFolder(char* buffer, uint32_t size) {
  return CopyFolder(systemFolder, buffer, size);
}

uint32_t TempFolder(char* buffer, uint32_t size) {
  return CopyFolder(tempFolder, buffer, size);
}

void SetNativeSystemFolders(const char* windows, const char* system, const char* temp) {
  windowsFolder = windows;
  systemFolder = system;
  tempFolder = temp;
}

void ResetNativeSystemFolders() {
  SetNativeSystemFolders(kWindows, kSystem, kTemp);
}
