#include "unpacker/container/run_outcome.h"

RunOutcome Outcome;

int ExitCode(const RunOutcome& o) {
  if (o.CommandLineError) return kExitCommandLine;
  if (o.UsageShown) return kExitSuccess;
  if (o.OutOfMemory) return kExitOutOfMemory;
  if (o.ArchiveUnreadable) return kExitFatal;
  switch (o.Extraction) {
    case ExtractionOutcome::NotRun:
    case ExtractionOutcome::StoppedByUser:
      return kExitStoppedByUser;
    case ExtractionOutcome::Failed:
      return kExitFatal;
    case ExtractionOutcome::Succeeded:
      break;
  }
  if (o.ProgramNotStarted || o.FilesLeftByDeletePass) return kExitWarning;
  // The waited-for program's own code (an installer's 1602 or 3010) is what the caller wants.
  if (o.WaitedForProgram) return int(o.ProgramExitCode);
  return kExitSuccess;
}
