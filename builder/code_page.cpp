#include "builder/code_page.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cerrno>
#include <vector>

namespace mksfx {

namespace {

// The UTF-8 sequence that starts at text[i] (one character).
std::string CharacterAt(const std::string& text, size_t i) {
  size_t end = i + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return text.substr(i, end - i);
}

#ifndef _WIN32
std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      return "CP" + std::to_string(codePage);
  }
}
#endif

}  // namespace

bool IsSupportedCodePage(unsigned codePage) {
#ifdef _WIN32
  return IsValidCodePage(codePage) != FALSE;
#else
  iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
  if (cd == iconv_t(-1)) return false;
  iconv_close(cd);
  return true;
#endif
}

#ifdef _WIN32

std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage,
                                          std::string* unrepresentable) {
  if (utf8.empty()) return std::string();
  const int wideLength =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wideLength <= 0) {
    if (unrepresentable) *unrepresentable = "(invalid UTF-8)";
    return std::nullopt;
  }
  std::wstring wide(size_t(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), wideLength);
  // Character by character, so that the one that does not fit can be named.
  std::string out;
  size_t utf8Index = 0;
  for (size_t i = 0; i < wide.size();) {
    const size_t units = (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size()) ? 2 : 1;
    char bytes[8];
    BOOL usedDefault = FALSE;
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    const int n =
        WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide.data() + i, int(units),
                            bytes, sizeof bytes, nullptr, utf ? nullptr : &usedDefault);
    const std::string character = CharacterAt(utf8, utf8Index);
    if (n <= 0 || usedDefault) {
      if (unrepresentable) *unrepresentable = character;
      return std::nullopt;
    }
    out.append(bytes, size_t(n));
    utf8Index += character.size();
    i += units;
  }
  return out;
}

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
  if (bytes.empty()) return std::string();
  const int wideLength =
      MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (wideLength <= 0) return std::string();
  std::wstring wide(size_t(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), wide.data(), wideLength);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, out.data(), length, nullptr, nullptr);
  return out;
}

#else

namespace {

// Runs `text` through the conversion from `from` to `to`. At a character that does not convert,
// `onInvalid(offset)` decides: it returns the replacement to append and go on behind that byte,
// or nothing to give up. Nothing as well when the conversion is unknown.
template <typename OnInvalid>
std::optional<std::string> Iconv(const char* to, const char* from, const std::string& text,
                                 OnInvalid onInvalid) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return std::nullopt;
  std::string out;
  std::vector<char> buffer(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), size_t(outPtr - buffer.data()));
    if (r == size_t(-1) && errno != E2BIG) {
      const std::optional<std::string> replacement = onInvalid(text.size() - inLeft);
      if (!replacement) {
        iconv_close(cd);
        return std::nullopt;
      }
      out += *replacement;
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage,
                                          std::string* unrepresentable) {
  std::string bad = "(unsupported code page)";
  const auto out = Iconv(IconvName(codePage).c_str(), "UTF-8", utf8, [&](size_t at) {
    bad = CharacterAt(utf8, at);
    return std::optional<std::string>();
  });
  if (!out && unrepresentable) *unrepresentable = bad;
  return out;
}

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
  // U+FFFD for each byte that does not decode.
  return Iconv("UTF-8", IconvName(codePage).c_str(), bytes,
               [](size_t) { return std::optional<std::string>("\xEF\xBF\xBD"); })
      .value_or(bytes);
}

#endif

}  // namespace mksfx
