// File access for the Windows programs: the Win32 file functions, 64-bit positions.
#include <windows.h>

#include <cstdlib>

#include "unpacker/container/archive_file.h"

struct ArchiveFile {
  HANDLE handle;
};

ArchiveFile* OpenArchiveFile(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  ArchiveFile* file = static_cast<ArchiveFile*>(std::malloc(sizeof(ArchiveFile)));
  if (!file) {
    CloseHandle(handle);
    return nullptr;
  }
  file->handle = handle;
  return file;
}

bool CloseArchiveFile(ArchiveFile* file) {
  if (!file) return true;
  const bool closed = CloseHandle(file->handle) != FALSE;
  std::free(file);
  return closed;
}

int64_t ArchiveFileSeek(ArchiveFile* file, int64_t distance, SeekOrigin origin) {
  if (!file) return -1;
  LARGE_INTEGER move, position;
  move.QuadPart = distance;
  const DWORD method = origin == SeekFromBegin     ? FILE_BEGIN
                       : origin == SeekFromCurrent ? FILE_CURRENT
                                                   : FILE_END;
  if (!SetFilePointerEx(file->handle, move, &position, method)) return -1;
  return position.QuadPart;
}

uint32_t ArchiveFileRead(ArchiveFile* file, void* buffer, uint32_t count) {
  DWORD got = 0;
  if (!file || !ReadFile(file->handle, buffer, count, &got, nullptr)) return 0;
  return got;
}

int64_t ArchiveFileSize(ArchiveFile* file) {
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file->handle, &size)) return -1;
  return size.QuadPart;
}

uint32_t CurrentDirectory(char* buffer, uint32_t size) {
  char path[MAX_PATH + 1];
  const DWORD length = GetCurrentDirectoryA(sizeof path, path);
  if (length == 0 || length >= size || length >= sizeof path) return 0;
  CopyMemory(buffer, path, length + 1);
  return length;
}
