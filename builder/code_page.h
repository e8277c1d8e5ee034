// Conversions between UTF-8 (command line, terminal, file names on Linux) and the archive's
// code page (949 by default): iconv natively, the Win32 conversion functions on Windows.
#pragma once

#include <optional>
#include <string>

namespace mksfx {

// The text in the code page, or nothing when a character cannot be represented; then
// *unrepresentable (when given) holds the first such character, in UTF-8.
std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage,
                                          std::string* unrepresentable = nullptr);

// The text in UTF-8; undecodable bytes come out as U+FFFD.
std::string CodePageToUtf8(const std::string& bytes, unsigned codePage);

bool IsSupportedCodePage(unsigned codePage);

}  // namespace mksfx
