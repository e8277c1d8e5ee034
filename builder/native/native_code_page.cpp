// The code-page seam on Linux: iconv. Code pages are named by their Windows numbers.
#include <iconv.h>

#include <cerrno>
#include <vector>

#include "builder/code_page.h"

namespace mksfx {

namespace {

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

// Runs `text` through the conversion from `from` to `to`. A byte that does not convert is
// replaced by `replacement` and the conversion goes on behind it; without a replacement the
// result is nothing. Nothing as well when the conversion is unknown.
std::optional<std::string> Iconv(const std::string& to, const std::string& from,
                                 const std::string& text, const char* replacement) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
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
      if (!replacement) {
        iconv_close(cd);
        return std::nullopt;
      }
      out += replacement;
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> ExactlyToCodePage(const std::string& utf8, unsigned codePage) {
  return Iconv(IconvName(codePage), "UTF-8", utf8, nullptr);
}

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
  return Iconv("UTF-8", IconvName(codePage), bytes, "\xEF\xBF\xBD").value_or(bytes);
}

bool IsSupportedCodePage(unsigned codePage) {
  iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
  if (cd == iconv_t(-1)) return false;
  iconv_close(cd);
  return true;
}

}  // namespace mksfx
