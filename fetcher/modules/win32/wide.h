// UTF-16 text of the portable code as the wchar_t strings of the Windows API (both 16 bits on
// Windows), and the ANSI strings of the "A" functions.
#pragma once

#include <string>

#include "fetcher/modules/ansi_text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

inline std::u16string FromWide(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

// Text for an "A" function. Characters the code page cannot hold become "?".
inline std::string Ansi(const std::u16string& text) {
  return UnicodeToAnsi(text);
}
