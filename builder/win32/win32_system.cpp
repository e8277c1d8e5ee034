// The system seam on Windows: the wide command line, the console, BCryptGenRandom.
#include <io.h>
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>

#include "builder/system.h"
#include "builder/win32/wide_text.h"

namespace mksfx {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return args;
}

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

bool CryptoRandom(uint8_t* bytes, size_t count) {
  return BCryptGenRandom(nullptr, bytes, ULONG(count), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}

}  // namespace mksfx
