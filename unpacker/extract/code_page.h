// Code-page seam of the portable core: the system facts and conversions that the name and
// path routines (paths.h) need to look at names character by character.
//
// Each program links one implementation: extract/win32 (the National Language Support
// functions) or extract/native (iconv, with settable system facts for the tests).
#pragma once

#include <cstdint>

// Code page numbers with a meaning of their own, as Windows defines them.
constexpr uint32_t kSystemAnsiCodePage = 0;  // CP_ACP: the system's ANSI code page
constexpr uint32_t kThreadAnsiCodePage = 3;  // CP_THREAD_ACP: the thread locale's ANSI code page
constexpr uint32_t kUtf8CodePage = 65001;    // CP_UTF8

// Converts `length` bytes in `codePage` to UTF-16 and returns the number of units. With
// `capacity` 0 nothing is written and the number of units needed is returned; otherwise 0
// when they do not fit. Bytes that form no character of the code page become the code page's
// default character, so a conversion fails (0) only for an unknown code page or no room. A
// lead byte takes the byte behind it into its character whatever that byte is, as the file
// system's own conversion does.
uint32_t BytesToUtf16(uint32_t codePage, const char* bytes, uint32_t length, char16_t* units,
                      uint32_t capacity);

// The reverse of BytesToUtf16: `count` units to bytes in `codePage`, the same capacity rule.
// Units the code page cannot show become its default byte ("?"); no best-fit replacement, so a
// character never turns into a different one (a full-width backslash never into "\").
uint32_t Utf16ToBytes(uint32_t codePage, const char16_t* units, uint32_t count, char* bytes,
                      uint32_t capacity);

// Lower-cases `count` UTF-16 units in place by the user's locale.
void LowerCaseUtf16(char16_t* units, uint32_t count);

// The system version word as GetVersion reports it: bit 31 set on the Windows 95 family,
// the major version in the low byte.
uint32_t SystemVersionWord();

// The calling thread's locale identifier.
uint32_t ThreadLocale();

// The locale's default ANSI code page (LOCALE_IDEFAULTANSICODEPAGE) as decimal text, written
// NUL-terminated into `buffer` of `size` bytes. Returns the number of bytes written including
// the NUL, or 0 when the locale is unknown or the text does not fit.
uint32_t LocaleAnsiCodePageText(uint32_t locale, char* buffer, uint32_t size);
