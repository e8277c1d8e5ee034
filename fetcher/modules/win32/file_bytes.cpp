// The file seam on Windows: CreateFileA, with the path in the ANSI code page.
#include "fetcher/modules/file_bytes.h"

#include <windows.h>

#include "fetcher/modules/win32/wide.h"

std::optional<std::string> ReadFileBytes(const std::u16string& path) {
  HANDLE file = CreateFileA(Ansi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  BOOL ok;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
    bytes.append(buffer, got);
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return bytes;
}
