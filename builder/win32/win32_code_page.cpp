// The code-page seam on Windows: the National Language Support conversion functions.
#include <windows.h>

#include "builder/code_page.h"
#include "builder/win32/wide_text.h"

namespace mksfx {

std::optional<std::string> ExactlyToCodePage(const std::string& utf8, unsigned codePage) {
  if (utf8.empty()) return std::string();
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr,
                          0) <= 0)
    return std::nullopt;
  const std::wstring wide = WideFromUtf8(utf8);
  // The UTF code pages take no default character and no best-fit flag.
  const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
  BOOL usedDefault = FALSE;
  const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL* defaultUsed = utf ? nullptr : &usedDefault;
  const int n = WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), nullptr, 0,
                                    nullptr, defaultUsed);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), out.data(), n, nullptr,
                      defaultUsed);
  return out;
}

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
  if (bytes.empty()) return std::string();
  const int wideLength =
      MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (wideLength <= 0) return std::string();
  std::wstring wide(size_t(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), wide.data(), wideLength);
  return Utf8FromWide(wide);
}

bool IsSupportedCodePage(unsigned codePage) {
  return IsValidCodePage(codePage) != FALSE;
}

}  // namespace mksfx
