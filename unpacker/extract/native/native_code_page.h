// Extras of the native code-page seam: the system facts that Windows would supply, settable by
// tests and fuzz targets. The defaults are those of a Korean Windows 10: ANSI code page 949,
// thread locale 0x0412, an NT version word.
#pragma once

#include <cstdint>

// The system ANSI code page (what CP_ACP, code page 0, stands for).
void SetNativeSystemCodePage(uint32_t codePage);

// The thread locale: CP_THREAD_ACP (code page 3) stands for its ANSI code page.
void SetNativeThreadLocale(uint32_t locale);

// The word that SystemVersionWord reports.
void SetNativeVersionWord(uint32_t version);

// Makes LocaleAnsiCodePageText report `text` for `locale` (null: the locale is unknown) until
// the next call or reset. Other locales keep their built-in values (Korean, Japanese, Chinese,
// English, Russian, Turkish).
void SetNativeLocaleCodePageText(uint32_t locale, const char* text);

// Back to the defaults above.
void ResetNativeCodePage();
