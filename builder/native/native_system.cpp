// The system seam on Linux: arguments are UTF-8 already, random bytes from getrandom.
#include <sys/random.h>
#include <unistd.h>

#include "builder/system.h"

namespace mksfx {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

bool CryptoRandom(uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = getrandom(bytes + done, count - done, 0);
    if (got <= 0) return false;
    done += size_t(got);
  }
  return true;
}

}  // namespace mksfx
