// "FILEEXIST": replace an existing file with the one from the archive? With "모든 파일에
// 적용(&A)" checked the answer becomes the rule for every further file.
#include <windows.h>
#include <shellapi.h>

#include "unpacker/container/shared_state.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/resources/resource.h"
#include "unpacker/shell/center_window.h"
#include "unpacker/shell/dialogs.h"

namespace {

void ShowTexts(HWND dialog) {
  SetDlgItemTextW(dialog, IDC_EXISTING_NAME, ExistingName);
  SetDlgItemTextW(dialog, IDC_EXISTING_SIZE, ExistingSizeText);
  SetDlgItemTextW(dialog, IDC_EXISTING_DATE, ExistingDateText);
  SetDlgItemTextW(dialog, IDC_NEW_SIZE, NewSizeText);
  SetDlgItemTextW(dialog, IDC_NEW_DATE, NewDateText);
}

// The file type's icon, looked up by the name alone (the file is not opened), left of each
// file's size and date.
void DrawFileIcons(HWND dialog, HDC dc) {
  SHFILEINFOW info = {};
  if (!SHGetFileInfoW(ExistingName, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                      SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) ||
      !info.hIcon)
    return;
  static const int kBesideIds[] = {IDC_EXISTING_SIZE, IDC_NEW_SIZE};
  for (int id : kBesideIds) {
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    POINT top = {r.left, r.top};
    ScreenToClient(dialog, &top);
    DrawIcon(dc, 20, top.y - 5, info.hIcon);
  }
  DestroyIcon(info.hIcon);
}

void Answer(HWND dialog, int id) {
  const bool replace = id == IDOK;
  ReplaceThisFile = replace;
  if (IsDlgButtonChecked(dialog, IDC_APPLY_TO_ALL) == BST_CHECKED)
    OverwriteMode =
        replace ? OverwriteChoice::ReplaceWithoutAsking : OverwriteChoice::SkipWithoutAsking;
  EndDialog(dialog, id);
}

}  // namespace

INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      ShowTexts(dialog);
      return FALSE;
    case WM_PAINT: {
      // Drawn on every paint, over the background that BeginPaint has the dialog erase.
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(dialog, &paint);
      DrawFileIcons(dialog, dc);
      EndPaint(dialog, &paint);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        Answer(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
