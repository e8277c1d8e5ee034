#include "fetcher/modules/win32/folder_module.h"

#include <windows.h>
#include <shlobj.h>

#include "fetcher/modules/messages.h"
#include "fetcher/modules/win32/wide.h"

std::u16string SelectFolder() {
  const std::string title = Ansi(fetcher_text::kBrowseFolderTitle);
  BROWSEINFOA browse{};
  browse.lpszTitle = title.c_str();
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  PIDLIST_ABSOLUTE folder = SHBrowseForFolderA(&browse);
  if (!folder) return {};
  char path[MAX_PATH] = "";
  SHGetPathFromIDListA(folder, path);
  CoTaskMemFree(folder);
  return AnsiToUnicode(path);
}
