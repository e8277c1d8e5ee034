#include "unpacker/shell/run_after_extraction.h"

#include <windows.h>

#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/paths.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/walk_archive.h"
#include "unpacker/shell/command_line.h"
#include "unpacker/shell/command_part.h"

namespace {

bool StartProcess(const ByteString& commandLine, PROCESS_INFORMATION* process) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  // CreateProcessA may write into the command line, so it gets a copy of its own.
  ByteString writable = commandLine;
  return CreateProcessA(nullptr, const_cast<char*>(writable.c_str()), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                        process) != FALSE;
}

// The two attempts: the command taken as relative to the destination folder, then as given
// (an absolute path, or a program the system finds on its search path).
bool Start(const ByteString& command, PROCESS_INFORMATION* process) {
  ByteString relative = TrimTrailingSeparators(DestFolder);
  relative.Append("\\");
  relative.Append(command);
  return StartProcess(relative, process) || StartProcess(command, process);
}

}  // namespace

bool RunNoWait(const ByteString& command) {
  PROCESS_INFORMATION process;
  if (!Start(command, &process)) return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool RunAndWait(const ByteString& command, uint32_t* exitCode) {
  PROCESS_INFORMATION process;
  if (!Start(command, &process)) return false;
  // Short waits with one message step each keep the dialog alive meanwhile.
  while (WaitForSingleObject(process.hProcess, 200) == WAIT_TIMEOUT) MessageStep();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  *exitCode = code;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void RunAfterExtraction() {
  const ExtractorOptionsRecord& o = ExtractorOptions;
  if (!o.HasRunCommand || Switches.NoRun) return;
  // An expansion that does not fit the command's buffer leaves nothing sensible to start.
  const bool runnable = ExpandFolderMacros(ExtractorOptions.RunCommand, kOptionTextBufferSize);
  ByteString command;
  if (runnable) {
    command = CommandPart(RunPart::Program);
    command.Append(" ");
    command.Append(CommandPart(RunPart::Arguments));
  }
  bool started = false;
  if (runnable && (o.WaitThenDelete || Switches.Wait)) {
    started = Outcome.WaitedForProgram = RunAndWait(command, &Outcome.ProgramExitCode);
  } else if (runnable) {
    started = RunNoWait(command);
  }
  Outcome.ProgramNotStarted = !started;
  if (o.WaitThenDelete) WalkArchive(Pass::Delete);  // also when the program could not be started
}
