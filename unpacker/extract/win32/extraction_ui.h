// What the extraction loop needs from the windows on screen. The unpacker's shell implements
// it with the main dialog and the password and overwrite dialogs; the Wine tests implement it
// with scripted answers.
#pragma once

// Shows the password dialog, owned by the main dialog. 1 when the user confirmed a password
// (then in TypedPassword and TypedPasswordLength), anything else when the dialog was closed.
int ShowPasswordDialog();

// Shows the overwrite question with the five texts of overwrite_question.h; sets
// ReplaceThisFile, and OverwriteMode when the answer is to apply to all files.
void ShowOverwriteDialog();

// Lets at most one pending window message of the thread through (removed, translated,
// dispatched). Unlike PumpOneMessage it leaves the progress bar alone.
void MessageStep();

// Enables or disables the controls that would disturb a running pass: extract (1), the
// overwrite box (1008), the folder box (101) and the browse button (775).
void EnableExtractionControls(bool enabled);

// Posts the Close command (WM_COMMAND 2) to the main dialog, which ends it once no pass runs.
void PostCloseCommand();
