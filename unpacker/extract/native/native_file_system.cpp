// The file-system seam on Linux, for tests. Paths are UTF-8, as Linux names are; every
// backslash becomes a "/". The searches behave as FindFirstFileA does for the patterns the core
// builds: a path, or a folder followed by "*.*". Of the attributes, read-only is kept (as the
// file's write permission); times are local times, as on Windows.
#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "unpacker/container/byte_string.h"
#include "unpacker/extract/dos_date_time.h"
#include "unpacker/extract/file_system.h"
#include "unpacker/inflate/native/native_output_file.h"

namespace {

// The Linux file name for a Windows path (UTF-8), NUL-terminated; the caller frees it. Each
// backslash becomes a slash: in UTF-8 the byte 0x5C is never part of another character.
char* PosixPath(const char* path) {
  const size_t length = std::strlen(path);
  char* posix = static_cast<char*>(std::malloc(length + 1));
  if (!posix) FatalOutOfMemory();
  for (size_t i = 0; i <= length; ++i) posix[i] = path[i] == '\\' ? '/' : path[i];
  return posix;
}

bool Search(const char* pattern) {
  const size_t length = std::strlen(pattern);
  if (length == 0 || pattern[length - 1] == '/') return false;  // FindFirstFileA finds nothing
  // "*.*" matches every name on Windows, also names without a dot and "."; a folder always
  // holds ".", so the folder's existence is the answer.
  if (length >= 3 && std::strcmp(pattern + length - 3, "*.*") == 0 &&
      (length == 3 || pattern[length - 4] == '/')) {
    char* folder = static_cast<char*>(std::malloc(length + 2));
    if (!folder) FatalOutOfMemory();
    std::memcpy(folder, pattern, length - 3);
    std::strcpy(folder + length - 3, ".");
    DIR* listing = opendir(folder);
    std::free(folder);
    if (listing) closedir(listing);
    return listing != nullptr;
  }
  if (std::strpbrk(pattern, "*?")) {
    glob_t matches;
    const bool found = glob(pattern, GLOB_NOSORT, nullptr, &matches) == 0 && matches.gl_pathc;
    globfree(&matches);
    return found;
  }
  struct stat status;
  return lstat(pattern, &status) == 0;
}

}  // namespace

bool FindAnyFile(const char* pattern) {
  char* path = PosixPath(pattern);
  const bool found = Search(path);
  std::free(path);
  return found;
}

bool MakeFolder(const char* path) {
  char* posix = PosixPath(path);
  const bool made = mkdir(posix, 0777) == 0;
  std::free(posix);
  return made;
}

namespace {

std::FILE* openFile = nullptr;

uint32_t WriteToOpenFile(void*, const void* data, uint32_t count) {
  return uint32_t(std::fwrite(data, 1, count, openFile));
}

OutputFile openOutput = {WriteToOpenFile, nullptr};

}  // namespace

bool FindExistingFile(const char* path, ExistingFile* found) {
  char* posix = PosixPath(path);
  struct stat status;
  const bool exists = lstat(posix, &status) == 0;
  std::free(posix);
  if (!exists) return false;
  found->Size = uint64_t(status.st_size);
  struct tm local;
  localtime_r(&status.st_mtime, &local);
  found->DosDateTime = uint32_t(local.tm_year - 80) << 25 | uint32_t(local.tm_mon + 1) << 21 |
                       uint32_t(local.tm_mday) << 16 | uint32_t(local.tm_hour) << 11 |
                       uint32_t(local.tm_min) << 5 | uint32_t(local.tm_sec / 2);
  return true;
}

OutputFile* CreateNewOutputFile(const char* path, uint32_t attributes) {
  char* posix = PosixPath(path);
  const int fd = open(posix, O_WRONLY | O_CREAT | O_EXCL, (attributes & 1) ? 0444 : 0644);
  std::free(posix);
  openFile = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (fd >= 0 && !openFile) close(fd);
  return openFile ? &openOutput : nullptr;
}

OutputFile* ReplaceOutputFile(const char* path) {
  char* posix = PosixPath(path);
  chmod(posix, 0644);
  openFile = std::fopen(posix, "wb");
  std::free(posix);
  return openFile ? &openOutput : nullptr;
}

bool CloseOutputFile(OutputFile*, uint32_t dosDateTime) {
  const int fd = fileno(openFile);
  const DateTime t = DosDateTimeToDateTime(dosDateTime);
  struct tm local = {};
  local.tm_year = t.Year - 1900;
  local.tm_mon = t.Month - 1;
  local.tm_mday = t.Day;
  local.tm_hour = t.Hour;
  local.tm_min = t.Minute;
  local.tm_sec = t.Second;
  local.tm_isdst = -1;
  std::fflush(openFile);
  const struct timeval times[2] = {{std::time(nullptr), 0}, {mktime(&local), 0}};
  futimes(fd, times);
  const bool closed = std::fclose(openFile) == 0;
  openFile = nullptr;
  return closed;
}

void DiscardOutputFile(OutputFile*, const char* path) {
  std::fclose(openFile);
  openFile = nullptr;
  DeleteExtractedFile(path);
}

void SetEntryAttributes(const char* path, uint32_t attributes) {
  char* posix = PosixPath(path);
  chmod(posix, (attributes & 1) ? 0444 : 0644);
  std::free(posix);
}

bool DeleteExtractedFile(const char* path) {
  char* posix = PosixPath(path);
  const bool gone = unlink(posix) == 0 || errno == ENOENT;
  std::free(posix);
  return gone;
}

bool RemoveEmptyFolder(const char* path) {
  char* posix = PosixPath(path);
  const bool removed = rmdir(posix) == 0;
  std::free(posix);
  return removed;
}
