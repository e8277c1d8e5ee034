#include "builder/file_io.h"

#include <cerrno>
#include <cstring>

namespace mksfx {

namespace {

std::string Because(const std::string& what, int error) {
  return what + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

}  // namespace

std::string CannotRead(const std::string& utf8Path) {
  return Because("cannot read " + utf8Path, errno);
}

std::string CannotWrite(const std::string& utf8Path) {
  return Because("cannot write " + utf8Path, errno);
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>* bytes, std::string* error) {
  errno = 0;
  FilePtr f = OpenFile(utf8Path, "rb");
  bytes->clear();
  uint8_t buffer[1 << 16];
  size_t got;
  while (f && (got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
    bytes->insert(bytes->end(), buffer, buffer + got);
  if (f && !std::ferror(f.get())) return true;
  *error = CannotRead(utf8Path);
  return false;
}

}  // namespace mksfx
