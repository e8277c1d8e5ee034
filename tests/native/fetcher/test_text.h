// Small helpers for fetcher's native tests: UTF-8 literals as UTF-16, and readable failures.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace fetcher_test {

// UTF-8 (the source's encoding) to UTF-16; the tests write Korean text as plain literals.
inline std::u16string U(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = utf8[i];
    char32_t code;
    int extra;
    if (c < 0x80)
      code = c, extra = 0;
    else if (c < 0xE0)
      code = c & 0x1F, extra = 1;
    else if (c < 0xF0)
      code = c & 0x0F, extra = 2;
    else
      code = c & 0x07, extra = 3;
    ++i;
    for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) code = (code << 6) | (utf8[i] & 0x3F);
    if (code >= 0x10000) {
      code -= 0x10000;
      out += {char16_t(0xD800 + (code >> 10)), char16_t(0xDC00 + (code & 0x3FF))};
    } else {
      out.push_back(char16_t(code));
    }
  }
  return out;
}

inline std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80)
      out.push_back(char(c));
    else if (c < 0x800)
      out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    else
      out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
  }
  return out;
}

inline std::vector<std::u16string> Us(std::initializer_list<std::string_view> items) {
  std::vector<std::u16string> out;
  for (std::string_view item : items) out.push_back(U(item));
  return out;
}

}  // namespace fetcher_test
