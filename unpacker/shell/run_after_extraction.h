// Starting the option block's run command after a complete extraction: typically a setup
// program among the extracted files.
#pragma once

#include "unpacker/container/byte_string.h"

// Starts the run command, if there is one and /NORUN was not given. With WaitThenDelete it
// waits for the program, letting the dialog's messages through, and then deletes the
// extracted files again; /WAIT waits without deleting. Records the outcome in Outcome.
void RunAfterExtraction();

// Start the command line, first as relative to the destination folder, then as it stands.
// True when a process was started; RunAndWait returns once it has ended, with its exit code
// in *exitCode.
bool RunNoWait(const ByteString& command);
bool RunAndWait(const ByteString& command, uint32_t* exitCode);
