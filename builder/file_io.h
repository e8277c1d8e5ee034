// mksfx's files: 64-bit positions, truncation, opening by a UTF-8 path, and what the system
// knows of a file on disk. builder/win32 (the wide API reaches every name) and builder/native
// (glibc) implement it; ReadWholeFile and the messages are portable (file_io.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
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

// The UTF-8 path in the platform's narrow encoding for the core's OpenArchiveFile: unchanged on
// Linux, the short ANSI-safe form on Windows when the name does not fit the ANSI code page.
std::string NativeNarrowPath(const std::string& utf8Path);

// MS-DOS attributes of a file or folder: on Windows the file's own; elsewhere read-only from
// the owner's write permission. Never Unix mode bits: the stub hands the value to
// SetFileAttributesA as it is.
uint32_t DosAttributesOf(const std::filesystem::path& p, bool folder);

// The local time of `t`; false when the system cannot convert it.
bool ToLocalTime(std::time_t t, std::tm* local);

// The whole file; false (and *error says why, naming the file) when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>* bytes, std::string* error);

// "cannot read PATH: REASON" and "cannot write PATH: REASON", the reason from errno.
std::string CannotRead(const std::string& utf8Path);
std::string CannotWrite(const std::string& utf8Path);

// The std::filesystem path of a UTF-8 path.
inline std::filesystem::path PathOf(const std::string& utf8Path) {
  return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

}  // namespace mksfx
