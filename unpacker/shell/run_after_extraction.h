// Starting the option block's run command after a complete extraction: typically a setup
// program among the extracted files.
#pragma once

#include "unpacker/container/byte_string.h"

// Starts the run command, if there is one. With WaitThenDelete it waits for the program,
// letting the dialog's messages through, and then deletes the extracted files again.
void RunAfterExtraction();

// Start the command line, first as relative to the destination folder, then as it stands.
// True when a process was started; RunAndWait returns once it has ended.
bool RunNoWait(const ByteString& command);
bool RunAndWait(const ByteString& command);
