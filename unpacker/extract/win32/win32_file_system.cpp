// The file-system seam on Windows: FindFirstFileA, CreateDirectoryA, and the files of entries
// through CreateFileA and their handles.
#include <windows.h>

#include "unpacker/extract/file_system.h"
#include "unpacker/inflate/win32/win32_output_file.h"

namespace {

OutputFile currentFile = {INVALID_HANDLE_VALUE};

}  // namespace

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

bool FindExistingFile(const char* path, ExistingFile* found) {
  WIN32_FIND_DATAA data;
  const HANDLE search = FindFirstFileA(path, &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  // The true size, also from 4 GiB on (the search gives it in two halves).
  found->Size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  found->DosDateTime = uint32_t(date) << 16 | time;
  return true;
}

OutputFile* CreateOutputFile(const char* path, bool replacing) {
  if (replacing) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);  // a read-only file goes too
  currentFile.handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  return currentFile.handle == INVALID_HANDLE_VALUE ? nullptr : &currentFile;
}

bool CloseOutputFile(OutputFile* file, uint32_t dosDateTime) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(WORD(dosDateTime >> 16), WORD(dosDateTime), &local) &&
      LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file->handle, nullptr, nullptr, &utc);
  const bool closed = CloseHandle(file->handle) != FALSE;
  file->handle = INVALID_HANDLE_VALUE;
  return closed;
}

void DiscardOutputFile(OutputFile* file, const char* path) {
  CloseHandle(file->handle);
  file->handle = INVALID_HANDLE_VALUE;
  DeleteFileA(path);
}

void SetEntryAttributes(const char* path, uint32_t attributes) {
  SetFileAttributesA(path, attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
}

bool DeleteExtractedFile(const char* path) {
  return DeleteFileA(path) != FALSE || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool RemoveEmptyFolder(const char* path) {
  return RemoveDirectoryA(path) != FALSE;
}
