#include "builder/file_io.h"

#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace mksfx {

#ifdef _WIN32
static std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), n);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}
#endif

FilePtr OpenFile(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
  return FilePtr(_wfopen(Wide(utf8Path).c_str(), Wide(mode).c_str()));
#else
  return FilePtr(std::fopen(utf8Path.c_str(), mode));
#endif
}

uint64_t TellFile(std::FILE* f) {
#ifdef _WIN32
  return uint64_t(_ftelli64(f));
#else
  return uint64_t(ftello(f));
#endif
}

bool SeekFile(std::FILE* f, uint64_t position) {
#ifdef _WIN32
  return _fseeki64(f, int64_t(position), SEEK_SET) == 0;
#else
  return fseeko(f, off_t(position), SEEK_SET) == 0;
#endif
}

bool TruncateFile(std::FILE* f, uint64_t size) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _chsize_s(_fileno(f), int64_t(size)) == 0;
#else
  return ftruncate(fileno(f), off_t(size)) == 0;
#endif
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>* bytes) {
  FilePtr f = OpenFile(utf8Path, "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
    bytes->insert(bytes->end(), buffer, buffer + got);
  return !std::ferror(f.get());
}

std::string NativeNarrowPath(const std::string& utf8Path) {
#ifdef _WIN32
  const std::wstring wide = Wide(utf8Path);
  wchar_t shortPath[MAX_PATH];
  const DWORD n = GetShortPathNameW(wide.c_str(), shortPath, MAX_PATH);
  const std::wstring& use = (n > 0 && n < MAX_PATH) ? std::wstring(shortPath) : wide;
  const int length = WideCharToMultiByte(CP_ACP, 0, use.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, use.c_str(), -1, narrow.data(), length, nullptr, nullptr);
  narrow.resize(std::strlen(narrow.c_str()));
  return narrow;
#else
  return utf8Path;
#endif
}

}  // namespace mksfx
