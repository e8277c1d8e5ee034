// "ABOUT2": the module's name and version.
#include "unpacker/shell/center_window.h"
#include "unpacker/shell/dialogs.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}
