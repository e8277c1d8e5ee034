// The file seam on Linux: glibc's 64-bit stdio, UTF-8 paths as they are.
#include <unistd.h>

#include "builder/file_io.h"
#include "builder/zip_format.h"

namespace mksfx {

FilePtr OpenFile(const std::string& utf8Path, const char* mode) {
  return FilePtr(std::fopen(utf8Path.c_str(), mode));
}

uint64_t TellFile(std::FILE* f) {
  return uint64_t(ftello(f));
}

bool SeekFile(std::FILE* f, uint64_t position) {
  return fseeko(f, off_t(position), SEEK_SET) == 0;
}

bool TruncateFile(std::FILE* f, uint64_t size) {
  return std::fflush(f) == 0 && ftruncate(fileno(f), off_t(size)) == 0;
}

std::string NativeNarrowPath(const std::string& utf8Path) {
  return utf8Path;
}

uint32_t DosAttributesOf(const std::filesystem::path& p, bool folder) {
  std::error_code ec;
  const std::filesystem::perms perms = std::filesystem::status(p, ec).permissions();
  uint32_t attributes = folder ? kAttrDirectory : kAttrArchive;
  if (!ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
    attributes |= kAttrReadOnly;
  return attributes;
}

bool ToLocalTime(std::time_t t, std::tm* local) {
  return localtime_r(&t, local) != nullptr;
}

}  // namespace mksfx
