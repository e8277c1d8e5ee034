// Code-page seam. Text is Unicode (UTF-16) inside the program; the list file, the lookup reply,
// the settings file and every path handed to the platform are bytes in the system's ANSI code
// page (949 on the Korean systems fetcher is made for).
//   win32/ansi_text.cpp   MultiByteToWideChar / WideCharToMultiByte with CP_ACP
//   native/ansi_text.cpp  iconv with CP949, so native tests see the same bytes
#pragma once

#include <string>
#include <string_view>

// Bytes that do not form a character of the code page become one replacement character each;
// the conversion never fails.
std::u16string AnsiToUnicode(std::string_view ansi);

// Characters the code page cannot hold become "?".
std::string UnicodeToAnsi(std::u16string_view text);
