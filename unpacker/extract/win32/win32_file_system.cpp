// The file-system seam on Windows: the wide calls (FindFirstFileW, CreateDirectoryW,
// CreateFileW...), so that names of every script can be made; the core's UTF-8 paths are
// converted to UTF-16 for each call.
#include <windows.h>

#include <cstdlib>

#include "unpacker/container/byte_string.h"
#include "unpacker/extract/file_system.h"
#include "unpacker/inflate/win32/win32_output_file.h"

namespace {

OutputFile currentFile = {INVALID_HANDLE_VALUE};

// A UTF-8 path as UTF-16, for one call.
class WidePath {
 public:
  explicit WidePath(const char* path) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    text_ = static_cast<wchar_t*>(std::malloc(size_t(units > 0 ? units : 1) * sizeof(wchar_t)));
    if (!text_) FatalOutOfMemory();
    text_[0] = 0;
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, path, -1, text_, units);
  }
  WidePath(const WidePath&) = delete;
  WidePath& operator=(const WidePath&) = delete;
  ~WidePath() { std::free(text_); }
  operator const wchar_t*() const { return text_; }

 private:
  wchar_t* text_;
};

}  // namespace

bool FindAnyFile(const char* pattern) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(WidePath(pattern), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool MakeFolder(const char* path) {
  return CreateDirectoryW(WidePath(path), nullptr) != FALSE;
}

bool FindExistingFile(const char* path, ExistingFile* found) {
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileW(WidePath(path), &data);
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

OutputFile* CreateNewOutputFile(const char* path, uint32_t attributes) {
  currentFile.handle =
      CreateFileW(WidePath(path), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                  attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  return currentFile.handle == INVALID_HANDLE_VALUE ? nullptr : &currentFile;
}

OutputFile* ReplaceOutputFile(const char* path) {
  const WidePath wide(path);
  SetFileAttributesW(wide, FILE_ATTRIBUTE_NORMAL);  // a read-only file goes too
  currentFile.handle = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
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
  DeleteFileW(WidePath(path));
}

void SetEntryAttributes(const char* path, uint32_t attributes) {
  SetFileAttributesW(WidePath(path), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
}

bool DeleteExtractedFile(const char* path) {
  const WidePath wide(path);
  return DeleteFileW(wide) != FALSE || GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES;
}

bool RemoveEmptyFolder(const char* path) {
  return RemoveDirectoryW(WidePath(path)) != FALSE;
}
