// The dialog procedures of the unpacker, each in its own file.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OverwriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the shell's folder picker. When a folder is picked, writes its path into buffer (size
// bytes, ANSI code page) and makes it the current directory, and returns true; when the
// picker is cancelled, or the path does not fit or cannot be written in the ANSI code page,
// leaves buffer alone and returns false (*refused tells the latter).
bool BrowseForFolder(HWND owner, char* buffer, unsigned size, bool* refused);
