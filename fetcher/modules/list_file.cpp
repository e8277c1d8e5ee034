#include "fetcher/modules/list_file.h"

#include "fetcher/modules/ansi_text.h"
#include "fetcher/modules/file_bytes.h"

std::u16string ReadListFields(std::u16string_view text) {
  std::u16string joined;
  joined.reserve(text.size());
  bool atFieldStart = true;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c == u',' || c == u'\r' || c == u'\n') {
      atFieldStart = true;
      ++i;
    } else if (c == u'"' && atFieldStart) {
      const size_t close = text.find(u'"', i + 1);
      const size_t end = close == std::u16string_view::npos ? text.size() : close;
      joined.append(text.substr(i + 1, end - i - 1));
      atFieldStart = false;
      i = close == std::u16string_view::npos ? text.size() : close + 1;
    } else {
      joined.push_back(c);
      atFieldStart = false;
      ++i;
    }
  }
  return joined;
}

std::optional<std::u16string> ReadListFile(const std::u16string& path) {
  std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  return ReadListFields(AnsiToUnicode(*bytes));
}
