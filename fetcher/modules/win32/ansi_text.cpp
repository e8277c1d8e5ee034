// The code-page seam on Windows: the system's ANSI code page (CP_ACP).
#include "fetcher/modules/ansi_text.h"

#include <windows.h>

std::u16string AnsiToUnicode(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::u16string text(size_t(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()),
                      reinterpret_cast<wchar_t*>(text.data()), length);
  return text;
}

std::string UnicodeToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, int(text.size()), ansi.data(), length, nullptr, nullptr);
  return ansi;
}
