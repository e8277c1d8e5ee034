// What the extraction loop needs from the windows on screen. The unpacker's shell implements
// it with the main dialog and the password and overwrite dialogs; tests implement it with
// scripted answers.
#pragma once

#include <cstdint>

#include "unpacker/extract/file_system.h"

// Shows the password dialog, owned by the main dialog. True when the user confirmed a password
// (then in TypedPassword and TypedPasswordLength), false when the dialog was closed.
bool ShowPasswordDialog();

// Asks whether the file in the way at `target` (ANSI code page) is to be replaced by the entry
// of `newSize` bytes and MS-DOS date-time `newDosDateTime`; an answer for all files also sets
// OverwriteMode. Lets one window message through afterwards.
bool AskToReplace(const char* target, const ExistingFile& existing, uint64_t newSize,
                  uint32_t newDosDateTime);

// Lets at most one pending window message of the thread through (removed, translated,
// dispatched). Unlike PumpOneMessage it leaves the progress bar alone.
void MessageStep();

// Enables or disables the controls that would disturb a running pass: extract (1), the
// overwrite box (1008), the folder box (101) and the browse button (775).
void EnableExtractionControls(bool enabled);

// Posts the Close command (WM_COMMAND 2) to the main dialog, which ends it once no pass runs.
void PostCloseCommand();
