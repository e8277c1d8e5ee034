// The unpacker's entry point: open the program's own file (the archive is appended to it),
// read the option block, run the main dialog, clean up. The exit code is always 0.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/resources/messages.h"
#include "unpacker/shell/dialogs.h"
#include "unpacker/shell/window_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Extracting = false;
  GetModuleFileNameA(nullptr, ProgramPath, MAX_PATH);
  ArchiveHandle = OpenArchiveFile(ProgramPath);
  if (!ArchiveHandle) {
    ShowMessage(ProgramPath, kMsgCannotOpenFile, MessageIcon::Error);
    return 0;
  }
  BuildCrcTable();
  ReadOptionBlock();

  // The progress bar's window class must exist before the dialog is created; the folder
  // picker wants COM on this thread.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  DialogBoxParamA(instance, "MainDialog", nullptr, MainDialogProc, 0);
  MainWindow = nullptr;
  ProgressBar = nullptr;

  if (!CloseArchiveFile(ArchiveHandle))
    ShowMessage(nullptr, kMsgCannotCloseFile, MessageIcon::Error);
  ArchiveHandle = nullptr;
  CoUninitialize();
  return 0;
}
