// The code-page seam on Linux: iconv with CP949, the code page Wine and Korean Windows use, so
// that native tests and Windows see the same bytes for the same text.
#include "fetcher/modules/ansi_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

// Converts with `cd`, one replacement unit per input byte that does not convert.
template <typename Out>
void Convert(iconv_t cd, const char* in, size_t inSize, Out& out, const char* replacement,
             size_t replacementSize, size_t inUnit) {
  char buffer[4096];
  while (inSize > 0) {
    char* inPtr = const_cast<char*>(in);
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd, &inPtr, &inSize, &outPtr, &outLeft);
    const int error = errno;
    out.append(reinterpret_cast<const typename Out::value_type*>(buffer),
               (sizeof buffer - outLeft) / sizeof(typename Out::value_type));
    in = inPtr;
    if (result != size_t(-1) || error == E2BIG) continue;
    // EILSEQ or EINVAL (cut short at the end): skip one input unit.
    out.append(reinterpret_cast<const typename Out::value_type*>(replacement),
               replacementSize / sizeof(typename Out::value_type));
    const size_t skip = inSize < inUnit ? inSize : inUnit;
    in += skip;
    inSize -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace

std::u16string AnsiToUnicode(std::string_view ansi) {
  std::u16string text;
  iconv_t cd = iconv_open("UTF-16LE", "CP949");
  if (cd == iconv_t(-1)) return text;
  static constexpr char16_t kReplacement = u'\u30FB';  // what Windows gives for a broken pair
  Convert(cd, ansi.data(), ansi.size(), text, reinterpret_cast<const char*>(&kReplacement),
          sizeof kReplacement, 1);
  iconv_close(cd);
  return text;
}

std::string UnicodeToAnsi(std::u16string_view text) {
  std::string ansi;
  iconv_t cd = iconv_open("CP949", "UTF-16LE");
  if (cd == iconv_t(-1)) return ansi;
  Convert(cd, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t), ansi, "?",
          1, sizeof(char16_t));
  iconv_close(cd);
  return ansi;
}
