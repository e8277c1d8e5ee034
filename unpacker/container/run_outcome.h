// What a run of the unpacker came to, recorded where each thing happens, and the one function
// that turns it into the process's exit code. Scripts read the code; it follows the cause,
// never the message shown.
//
//   0    every file extracted (kept files count as done) and the run command started; usage
//   1    extracted, but the run command could not be started or the delete pass left files
//   2    fatal: unreadable program file or archive, damaged entry, CRC-32 mismatch, unknown
//        method, a file or folder that cannot be made, an unsafe name, a refused password
//   7    command-line error
//   8    not enough memory
//   255  stopped by the user, or the dialog closed before any extract pass
//   any  the exit code of the program the run waited for, after a successful extraction
#pragma once

#include <cstdint>

enum class ExtractionOutcome : uint8_t { NotRun, Succeeded, Failed, StoppedByUser };

struct RunOutcome {
  bool CommandLineError = false;
  bool UsageShown = false;
  bool ArchiveUnreadable = false;  // the program's file cannot be opened, holds no entries, or
                                   // the scan found it damaged
  bool OutOfMemory = false;
  ExtractionOutcome Extraction = ExtractionOutcome::NotRun;  // the last extract pass
  bool ProgramNotStarted = false;
  bool WaitedForProgram = false;
  uint32_t ProgramExitCode = 0;
  bool FilesLeftByDeletePass = false;
};

extern RunOutcome Outcome;

constexpr int kExitSuccess = 0;
constexpr int kExitWarning = 1;
constexpr int kExitFatal = 2;
constexpr int kExitCommandLine = 7;
constexpr int kExitOutOfMemory = 8;
constexpr int kExitStoppedByUser = 255;

int ExitCode(const RunOutcome& outcome);
