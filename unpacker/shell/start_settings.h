// What a run starts with, the switches taking precedence over the option block, and the run
// without a window (/S).
#pragma once

// Sets DestFolder (the /D= folder, else the default folder, else the start folder; macros
// expanded), OverwriteMode and, with /P=, Password. False when the folder does not fit
// DestFolder: it is then left as far as it fits and must not be used without a check.
bool ApplyStartSettings();

// The silent run: no window, no message box, no question. Scans and extracts into the /D= or
// default folder, then starts the run command. Every end is recorded in Outcome.
void ExtractSilently();
