// The code-page seam on Windows: the National Language Support conversions, GetVersion and
// the thread locale.
#include <windows.h>

#include "unpacker/extract/code_page.h"

static_assert(sizeof(WCHAR) == sizeof(char16_t), "UTF-16 units are WCHARs");

uint32_t BytesToUtf16(uint32_t codePage, const char* bytes, uint32_t length, char16_t* units,
                      uint32_t capacity) {
  if (length == 0 || length > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return 0;
  const int count = MultiByteToWideChar(codePage, 0, bytes, int(length),
                                        reinterpret_cast<WCHAR*>(units), int(capacity));
  return count > 0 ? uint32_t(count) : 0;
}

uint32_t Utf16ToBytes(uint32_t codePage, const char16_t* units, uint32_t count, char* bytes,
                      uint32_t capacity) {
  if (count == 0 || count > 0x7FFFFFFF || capacity > 0x7FFFFFFF) return 0;
  const WCHAR* wide = reinterpret_cast<const WCHAR*>(units);
  // No best fit: a character the code page lacks becomes "?", never a look-alike such as "\".
  int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, int(count), bytes,
                                   int(capacity), nullptr, nullptr);
  // UTF-7, UTF-8 and a few others take no flags; they have no best-fit mapping either.
  if (length == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    length =
        WideCharToMultiByte(codePage, 0, wide, int(count), bytes, int(capacity), nullptr, nullptr);
  return length > 0 ? uint32_t(length) : 0;
}

void LowerCaseUtf16(char16_t* units, uint32_t count) {
  CharLowerBuffW(reinterpret_cast<WCHAR*>(units), count);
}

uint32_t SystemVersionWord() {
  return GetVersion();
}

uint32_t ThreadLocale() {
  return GetThreadLocale();
}

uint32_t LocaleAnsiCodePageText(uint32_t locale, char* buffer, uint32_t size) {
  const int written = GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, buffer, int(size));
  return written > 0 ? uint32_t(written) : 0;
}
