// Conversions between UTF-8 (command line, terminal, file names on Linux) and the archive's
// code page (949 by default). builder/native converts with iconv, builder/win32 with the Win32
// conversion functions; naming the character that does not fit is portable (code_page.cpp).
#pragma once

#include <optional>
#include <string>

namespace mksfx {

// The text in the code page, or nothing when a character cannot be represented; then *why
// (when given) tells which, to follow what the text is: "holds 'C', which code page 949 cannot
// represent".
std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage,
                                          std::string* why = nullptr);

// Whether the bytes are UTF-8 (no stray or missing continuation bytes, no overlong forms, no
// surrogates), as the platform's converter judges them.
bool IsUtf8(const std::string& text);

// The text in UTF-8; undecodable bytes come out as U+FFFD.
std::string CodePageToUtf8(const std::string& bytes, unsigned codePage);

// The platform's side. The text in the code page, or nothing when any character of it cannot
// be represented exactly (no default character, no best-fit replacement) or is no UTF-8.
std::optional<std::string> ExactlyToCodePage(const std::string& utf8, unsigned codePage);
bool IsSupportedCodePage(unsigned codePage);

}  // namespace mksfx
