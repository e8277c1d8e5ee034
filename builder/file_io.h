// Small file helpers for mksfx that work the same with glibc and with mingw: 64-bit positions,
// truncation, and opening by a UTF-8 path (the wide API on Windows reaches every name).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace mksfx {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::string& utf8Path, const char* mode);
uint64_t TellFile(std::FILE* f);
bool SeekFile(std::FILE* f, uint64_t position);
bool TruncateFile(std::FILE* f, uint64_t size);
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>* bytes);

// The UTF-8 path in the platform's narrow encoding for the core's OpenArchiveFile: unchanged on
// Linux, the short ANSI-safe form on Windows when the name does not fit the ANSI code page.
std::string NativeNarrowPath(const std::string& utf8Path);

}  // namespace mksfx
