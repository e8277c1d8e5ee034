// System-folder seam of the portable core: the folders behind the macros {win}, {sys} and
// {temp}. Linked from extract/win32 or extract/native.
#pragma once

#include <cstdint>

// Each writes the folder, NUL-terminated and in the ANSI code page, into `buffer` and returns
// its length; returns 0 (buffer unchanged) when the folder cannot be told or does not fit
// into `size` bytes.
uint32_t WindowsFolder(char* buffer, uint32_t size);  // GetWindowsDirectoryA
uint32_t SystemFolder(char* buffer, uint32_t size);   // GetSystemDirectoryA
uint32_t TempFolder(char* buffer, uint32_t size);     // GetTempPathA: ends with a backslash
