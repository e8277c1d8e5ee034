// The folder questions on Windows: a search with FindFirstFileA, CreateDirectoryA.
#include <windows.h>

#include "unpacker/extract/file_system.h"

bool FindAnyFile(const char* pattern) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool MakeFolder(const char* path) {
  return CreateDirectoryA(path, nullptr) != FALSE;
}
