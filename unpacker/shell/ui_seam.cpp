// The unpacker's windows behind the seams of the portable core and the extraction loop:
// message boxes, the progress bar, the message steps and the two questions. A silent run (/S)
// shows none of them: nobody is there to answer, and a script must never block.
#include <windows.h>
#include <commctrl.h>

#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/win32/overwrite_question.h"
#include "unpacker/resources/messages.h"
#include "unpacker/resources/resource.h"
#include "unpacker/shell/command_line.h"
#include "unpacker/shell/dialogs.h"
#include "unpacker/shell/window_state.h"

HWND MainWindow = nullptr;
HWND ProgressBar = nullptr;

void Utf8ToWide(const char* utf8, wchar_t* wide, int capacity) {
  wide[0] = 0;
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, capacity);
  if (n <= 0) {
    // Too long for the buffer: keep what fits.
    MultiByteToWideChar(CP_UTF8, 0, utf8, int(lstrlenA(utf8)), wide, capacity - 1);
    wide[capacity - 1] = 0;
  }
}

void ShowMessage(const char* utf8Path, const char* utf8Text, MessageIcon icon) {
  if (Switches.Silent) return;
  wchar_t text[2 * MAX_PATH + 128] = L"";
  if (utf8Path) {
    Utf8ToWide(utf8Path, text, 2 * MAX_PATH);
    lstrcatW(text, L" : ");
  }
  const int at = lstrlenW(text);
  MultiByteToWideChar(CP_UTF8, 0, utf8Text, -1, text + at, int(sizeof text / sizeof *text) - at);
  wchar_t caption[32];
  MultiByteToWideChar(CP_UTF8, 0, kMsgCaption, -1, caption, 32);
  const UINT style = icon == MessageIcon::Error         ? MB_ICONERROR
                     : icon == MessageIcon::Information ? MB_ICONINFORMATION
                                                        : MB_OK;
  MessageBoxW(MainWindow, text, caption, style);
}

// A message step asks the window system for a message, a call that costs about as much as
// writing a small file. Steps come after every entry and every write: with many small files
// they would outnumber everything else, so one runs only when the last one is a tick of the
// clock (10-16 ms) old. Close, the about box and repainting still get through at once to a
// person's eye.
void MessageStep() {
  static DWORD lastStep;
  const DWORD now = GetTickCount();
  if (now - lastStep < 10) return;
  lastStep = now;
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void PumpOneMessage() {
  // The bar is told only what it does not show yet: a percent point spans many small files.
  static HWND shownBar;
  static int32_t shownPercent;
  if (ProgressBar && (ProgressBar != shownBar || ProgressPercent != shownPercent)) {
    SendMessageA(ProgressBar, PBM_SETPOS, WPARAM(ProgressPercent), 0);
    shownBar = ProgressBar;
    shownPercent = ProgressPercent;
  }
  MessageStep();
}

bool ShowPasswordDialog() {
  if (Switches.Silent) return false;
  return DialogBoxParamA(GetModuleHandleA(nullptr), "PASSWD", MainWindow, PasswordDialogProc, 0) ==
         1;
}

void ShowOverwriteDialog() {
  if (Switches.Silent) {
    ReplaceThisFile = false;
    return;
  }
  DialogBoxParamA(GetModuleHandleA(nullptr), "FileExist", MainWindow, OverwriteDialogProc, 0);
}

void EnableExtractionControls(bool enabled) {
  static const int kIds[] = {IDOK, IDC_OVERWRITE, IDC_FOLDER, IDC_BROWSE};
  for (int id : kIds) EnableWindow(GetDlgItem(MainWindow, id), enabled);
}

void PostCloseCommand() {
  PostMessageA(MainWindow, WM_COMMAND, IDCANCEL, 0);
}
