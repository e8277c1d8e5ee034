// The file seam on Windows: the wide API, so that every name can be opened whatever the ANSI
// code page, and the file's own MS-DOS attributes.
#include <io.h>
#include <windows.h>

#include <cstring>

#include "builder/file_io.h"
#include "builder/win32/wide_text.h"
#include "builder/zip_format.h"

namespace mksfx {

FilePtr OpenFile(const std::string& utf8Path, const char* mode) {
  return FilePtr(_wfopen(WideFromUtf8(utf8Path).c_str(), WideFromUtf8(mode).c_str()));
}

uint64_t TellFile(std::FILE* f) {
  return uint64_t(_ftelli64(f));
}

bool SeekFile(std::FILE* f, uint64_t position) {
  return _fseeki64(f, int64_t(position), SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* f, uint64_t size) {
  return std::fflush(f) == 0 && _chsize_s(_fileno(f), int64_t(size)) == 0;
}

std::string NativeNarrowPath(const std::string& utf8Path) {
  const std::wstring wide = WideFromUtf8(utf8Path);
  wchar_t shortPath[MAX_PATH];
  const DWORD n = GetShortPathNameW(wide.c_str(), shortPath, MAX_PATH);
  const std::wstring& use = (n > 0 && n < MAX_PATH) ? std::wstring(shortPath) : wide;
  const int length = WideCharToMultiByte(CP_ACP, 0, use.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, use.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(std::strlen(narrow.c_str()));
  return narrow;
}

uint32_t DosAttributesOf(const std::filesystem::path& p, bool folder) {
  const DWORD a = GetFileAttributesW(p.c_str());
  if (a != INVALID_FILE_ATTRIBUTES) return a & kDosAttributeMask;
  return folder ? kAttrDirectory : kAttrArchive;
}

bool ToLocalTime(std::time_t t, std::tm* local) {
  return localtime_s(local, &t) == 0;
}

}  // namespace mksfx
