#include "fetcher/modules/win32/ini_module.h"

#include <windows.h>

#include "fetcher/modules/win32/wide.h"

std::u16string SettingsFile() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of('\\') + 1);
  return AnsiToUnicode(folder + "Setting.ini");
}

std::u16string ReadIni(const std::u16string& section, const std::u16string& key,
                       const std::u16string& file) {
  // 255 bytes with room for the terminating zero: values come back cut to 254 bytes.
  char buffer[255];
  const DWORD length = GetPrivateProfileStringA(Ansi(section).c_str(), Ansi(key).c_str(), "",
                                                buffer, sizeof buffer, Ansi(file).c_str());
  if (length == 0) return {};
  return AnsiToUnicode(std::string_view(buffer, length));
}

void WriteIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
              const std::u16string& file) {
  WritePrivateProfileStringA(Ansi(section).c_str(), Ansi(key).c_str(), Ansi(value).c_str(),
                             Ansi(file).c_str());
}
