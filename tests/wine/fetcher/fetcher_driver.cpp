#include "tests/wine/fetcher/fetcher_driver.h"

#include "fetcher/forms/resource.h"

namespace fetcher_driver {

using namespace window_driver;

Fetcher::Fetcher(const std::string& programPath, const std::string& name) {
  folder_ = TempFolder() + "fetcher_e2e_" + name + "\\";
  CreateDirectoryA(folder_.c_str(), nullptr);
  path_ = folder_ + "fetcher.exe";
  CopyFileA(programPath.c_str(), path_.c_str(), FALSE);
}

Fetcher::~Fetcher() {
  if (program_.Running()) {
    Close();
    if (program_.Running()) program_.Terminate();
  }
  program_.WaitForExit(5000);
  // Remove the folder and what the program saved into it.
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder_ + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA((folder_ + entry.cFileName).c_str());
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder_.c_str());
}

void Fetcher::WriteSetting(const char* section, const char* key, const std::string& ansiValue) {
  WritePrivateProfileStringA(section, key, ansiValue.c_str(), SettingsFile().c_str());
}

std::string Fetcher::ReadSetting(const char* section, const char* key) const {
  char value[1024] = "";
  GetPrivateProfileStringA(section, key, "", value, sizeof value, SettingsFile().c_str());
  return value;
}

bool Fetcher::Start() {
  if (!program_.Start(L"\"" + AnsiToWide(path_) + L"\"", AnsiToWide(folder_))) return false;
  return WaitFor([&] {
    auto forms = Windows(FETCHER_MAIN_FORM_CLASS, true);
    main_ = forms.empty() ? nullptr : forms[0];
    return main_ != nullptr;
  });
}

bool Fetcher::Close() {
  PostMessageW(main_, WM_CLOSE, 0, 0);
  return program_.WaitForExit(10000);
}

HWND Fetcher::Settings() const {
  auto forms = Windows(FETCHER_SET_FORM_CLASS, false);
  return forms.empty() ? nullptr : forms[0];
}

}  // namespace fetcher_driver
