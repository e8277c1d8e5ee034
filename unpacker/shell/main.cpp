// The unpacker's entry point: read the switches, open the program's own file (the archive is
// appended to it), read the option block, run the main dialog or the silent run, clean up.
// The exit code comes from the run's recorded outcome (run_outcome.h), in one place.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/extract/code_page.h"
#include "unpacker/extract/file_system.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/resources/messages.h"
#include "unpacker/shell/command_line.h"
#include "unpacker/shell/dialogs.h"
#include "unpacker/shell/start_settings.h"
#include "unpacker/shell/window_state.h"

namespace {

void RunMainDialog(HINSTANCE instance) {
  // The progress bar's window class must exist before the dialog is created; the folder
  // picker wants COM on this thread.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  DialogBoxParamA(instance, "MainDialog", nullptr, MainDialogProc, 0);
  MainWindow = nullptr;
  ProgressBar = nullptr;
  CoUninitialize();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  Extracting = false;
  ByteString unknownSwitch;
  if (!ParseSwitches(commandLine, &Switches, &unknownSwitch)) {
    Outcome.CommandLineError = true;
    ShowMessage(ConvertText(unknownSwitch, kSystemAnsiCodePage, kPathCodePage).c_str(),
                kMsgUnknownSwitch, MessageIcon::Error);
    return ExitCode(Outcome);
  }
  if (Switches.Help) {
    Outcome.UsageShown = true;
    ShowMessage(nullptr, kMsgUsage, MessageIcon::Information);
    return ExitCode(Outcome);
  }

  GetModuleFileNameA(nullptr, ProgramPath, MAX_PATH);
  ArchiveHandle = OpenArchiveFile(ProgramPath);
  if (!ArchiveHandle) {
    Outcome.ArchiveUnreadable = true;
    ShowMessage(ConvertText(ProgramPath, kSystemAnsiCodePage, kPathCodePage).c_str(),
                kMsgCannotOpenFile, MessageIcon::Error);
    return ExitCode(Outcome);
  }
  BuildCrcTable();
  ReadOptionBlock();
  if (Switches.Silent)
    ExtractSilently();
  else
    RunMainDialog(instance);

  if (!CloseArchiveFile(ArchiveHandle))
    ShowMessage(nullptr, kMsgCannotCloseFile, MessageIcon::Error);
  ArchiveHandle = nullptr;
  return ExitCode(Outcome);
}
