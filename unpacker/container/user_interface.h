// User-interface seam of the portable core: the few things the core tells the user or lets
// the user do while it works. The unpacker's shell implements them with message boxes and
// the main dialog's progress bar; mksfx and the tests link their own implementations.
#pragma once

enum class MessageIcon { None, Error, Information };

// Shows a message owned by the main dialog (by no window before it exists), with the
// program's caption. `utf8Path`, when not null, is a path that is shown in front of the text
// as path + " : " + text. Path and text are UTF-8, so a name of any script shows as it is.
void ShowMessage(const char* utf8Path, const char* utf8Text, MessageIcon icon);

// Shows ProgressPercent on the progress bar, then lets at most one pending window message
// through. Runs after every piece written, which is how a Close click reaches the decoder.
void PumpOneMessage();
