#include "builder/code_page.h"

namespace mksfx {

std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage,
                                          std::string* why) {
  std::optional<std::string> converted = ExactlyToCodePage(utf8, codePage);
  if (converted || !why) return converted;
  const std::string page = "code page " + std::to_string(codePage);
  if (!IsSupportedCodePage(codePage)) {
    *why = "cannot be converted: this system does not know " + page;
    return std::nullopt;
  }
  // Character by character, to name the first one that does not fit; a byte that starts no
  // UTF-8 sequence is a character of its own.
  std::string character;
  for (size_t i = 0, end; i < utf8.size(); i = end) {
    end = i + 1;
    while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
    character = utf8.substr(i, end - i);
    if (!ExactlyToCodePage(character, codePage)) break;
  }
  *why = "holds '" + character + "', which " + page + " cannot represent";
  return std::nullopt;
}

bool IsUtf8(const std::string& text) {
  return ExactlyToCodePage(text, 65001).has_value();  // UTF-8 into UTF-8 checks every sequence
}

}  // namespace mksfx
