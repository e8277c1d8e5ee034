// "MainDialog": the destination folder, the overwrite box, progress, and the buttons that
// start, cancel and explain the extraction. Long work runs inside this procedure and lets
// single messages through, so it is re-entered while a pass runs: Extracting keeps a second
// pass from starting, and Close only asks the running pass to stop.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/resources/messages.h"
#include "unpacker/resources/resource.h"
#include "unpacker/shell/center_window.h"
#include "unpacker/shell/dialogs.h"
#include "unpacker/shell/run_after_extraction.h"
#include "unpacker/shell/start_settings.h"
#include "unpacker/shell/window_state.h"

namespace {

constexpr COLORREF kBarColour = RGB(48, 144, 207);

// Set when the default folder's macros expanded beyond the folder buffer: the user is told,
// and extraction then waits for a folder to be chosen instead of starting by itself.
bool FolderRefusedAtStart = false;

void CopyText(char* to, const char* from, size_t size) {
  const size_t n = std::strlen(from) < size - 1 ? std::strlen(from) : size - 1;
  std::memcpy(to, from, n);
  to[n] = 0;
}

void InitDialog(HWND dialog) {
  const ExtractorOptionsRecord& o = ExtractorOptions;
  MainWindow = dialog;
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MNICON");
  SetClassLongPtrA(dialog, GCLP_HICON, LONG_PTR(icon));

  FolderRefusedAtStart = !ApplyStartSettings();
  SetDlgItemTextA(dialog, IDC_FOLDER, DestFolder);
  if (OverwriteMode == OverwriteChoice::ReplaceWithoutAsking)
    CheckDlgButton(dialog, IDC_OVERWRITE, BST_CHECKED);
  if (o.HasCaption) SetWindowTextA(dialog, o.Caption);
  CenterWindow(dialog);

  ProgressBar = GetDlgItem(dialog, IDC_PROGRESS);
  ProgressPercent = 0;
  SendMessageA(ProgressBar, PBM_SETBARCOLOR, 0, LPARAM(kBarColour));
  ShowWindow(dialog, SW_SHOW);  // visible while the archive is scanned

  if (FolderRefusedAtStart) ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
  WalkArchive(Pass::Scan);
  SetFocus(dialog);
  if (o.AutoExtract && !FolderRefusedAtStart) PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

void OnExtract(HWND dialog) {
  if (Extracting) return;
  GetDlgItemTextA(dialog, IDC_FOLDER, DestFolder, kDestFolderSize);
  if (DestFolder[0] == 0) {
    CopyText(DestFolder, ExtractorOptions.StartDirectory, kDestFolderSize);
    SetDlgItemTextA(dialog, IDC_FOLDER, DestFolder);
  }
  if (!IsValidFolderName(DestFolder)) {
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);
    return;
  }
  WalkArchive(Pass::Extract);
  if (Outcome.Extraction == ExtractionOutcome::Succeeded) {
    RunAfterExtraction();
    EndDialog(dialog, IDOK);
  } else if (ExtractorOptions.AutoExtract) {
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

void OnClose(HWND dialog) {
  if (Extracting)
    CancelRequested = true;  // the pass stops, tells the user, and sends Close again
  else
    EndDialog(dialog, IDCANCEL);
}

void OnBrowse(HWND dialog) {
  if (Extracting) return;
  bool refused = false;
  BrowseForFolder(MainWindow, DestFolder, kDestFolderSize, &refused);
  if (refused)
    ShowMessage(nullptr, kMsgInvalidFolder, MessageIcon::Error);  // the box keeps its text
  else
    SetDlgItemTextA(dialog, IDC_FOLDER, DestFolder);
}

void OnOverwriteBox(HWND dialog) {
  if (Extracting) return;
  OverwriteMode = IsDlgButtonChecked(dialog, IDC_OVERWRITE) == BST_CHECKED
                      ? OverwriteChoice::ReplaceWithoutAsking
                      : OverwriteChoice::AskEachFile;
}

}  // namespace

bool BrowseForFolder(HWND owner, char* buffer, unsigned size, bool* refused) {
  *refused = false;
  wchar_t displayName[MAX_PATH];
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = displayName;
  info.lpszTitle = L"압축 풀 폴더를 선택하세요";
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  wchar_t path[MAX_PATH];
  const bool gotPath = SHGetPathFromIDListW(item, path) != FALSE;
  CoTaskMemFree(item);
  if (!gotPath) return false;
  // The folder must fit the destination buffer in the ANSI code page, character for character.
  char ansi[2 * MAX_PATH];
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, ansi, sizeof ansi,
                                    nullptr, &lossy);
  if (n <= 0 || lossy || unsigned(n) > size) {
    *refused = true;
    return false;
  }
  std::memcpy(buffer, ansi, size_t(n));
  SetCurrentDirectoryA(buffer);  // the program started afterwards inherits it
  return true;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    InitDialog(dialog);
    return FALSE;  // the focus is set
  }
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      OnExtract(dialog);
      return TRUE;
    case IDCANCEL:
      OnClose(dialog);
      return TRUE;
    case IDC_BROWSE:
      OnBrowse(dialog);
      return TRUE;
    case IDC_OVERWRITE:
      OnOverwriteBox(dialog);
      return TRUE;
    case IDC_ABOUT:
      DialogBoxParamA(GetModuleHandleA(nullptr), "ABOUT2", dialog, AboutDialogProc, 0);
      return TRUE;
  }
  return FALSE;
}
