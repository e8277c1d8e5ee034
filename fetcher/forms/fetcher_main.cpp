// fetcher: start-up and the message loop. The main form appears at once with both lists empty;
// nothing is read until "List Load". One thread does everything.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "fetcher/forms/main_form.h"
#include "fetcher/forms/set_form.h"
#include "fetcher/modules/win32/http_request.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Apartment-threaded COM: the WinHTTP request object and the shell's folder browser.
  CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (!MainForm::Show(instance, showCommand)) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between controls as in a dialog.
    HWND form = GetAncestor(message.hwnd, GA_ROOT);
    if ((form == MainForm::Window() || form == SetForm::Window()) && form &&
        IsDialogMessageW(form, &message)) {
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  ReleaseHttpRequest();
  CoUninitialize();
  return int(message.wParam);
}
