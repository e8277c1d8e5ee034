// The windows of the running unpacker, set when the main dialog is initialised.
#pragma once

#include <windows.h>

extern HWND MainWindow;   // owner of every message box and dialog shown while it exists
extern HWND ProgressBar;  // the main dialog's progress bar (906)

// Converts ANSI text (the system code page) to UTF-16 for display. The result fits `capacity`
// units, cut if need be, and is always terminated.
void AnsiToWide(const char* ansi, wchar_t* wide, int capacity);
