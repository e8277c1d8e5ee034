// "PASSWD": asks for the password of an encrypted entry. It has no cancel button, and Escape
// does not close it; the close box does, with result 0.
#include "unpacker/container/shared_state.h"
#include "unpacker/resources/resource.h"
#include "unpacker/shell/center_window.h"
#include "unpacker/shell/dialogs.h"

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK) return FALSE;
      TypedPasswordLength =
          int32_t(GetDlgItemTextA(dialog, IDC_PASSWORD, TypedPassword, kTypedPasswordSize));
      TypedPassword[TypedPasswordLength] = 0;
      EndDialog(dialog, 1);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
  }
  return FALSE;
}
