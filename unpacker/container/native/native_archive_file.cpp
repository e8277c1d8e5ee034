// File access for Linux builds: stdio for files on disk, or a buffer in memory.
#include "unpacker/container/native/native_archive_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

struct ArchiveFile {
  std::FILE* stream = nullptr;      // a file on disk, or
  const uint8_t* memory = nullptr;  // a buffer in memory
  uint64_t memorySize = 0;
  uint64_t position = 0;  // read position of the memory buffer
};

ArchiveFile* OpenArchiveFile(const char* path) {
  std::FILE* stream = std::fopen(path, "rb");
  if (!stream) return nullptr;
  ArchiveFile* file = new (std::nothrow) ArchiveFile;
  if (!file) {
    std::fclose(stream);
    return nullptr;
  }
  file->stream = stream;
  return file;
}

ArchiveFile* OpenArchiveMemory(const uint8_t* data, size_t size) {
  ArchiveFile* file = new (std::nothrow) ArchiveFile;
  if (!file) return nullptr;
  file->memory = data;
  file->memorySize = size;
  return file;
}

bool CloseArchiveFile(ArchiveFile* file) {
  if (!file) return true;
  const bool closed = !file->stream || std::fclose(file->stream) == 0;
  delete file;
  return closed;
}

int64_t ArchiveFileSeek(ArchiveFile* file, int64_t distance, SeekOrigin origin) {
  if (!file) return -1;
  if (file->stream) {
    const int whence = origin == SeekFromBegin     ? SEEK_SET
                       : origin == SeekFromCurrent ? SEEK_CUR
                                                   : SEEK_END;
    if (fseeko(file->stream, off_t(distance), whence) != 0) return -1;
    return int64_t(ftello(file->stream));
  }
  const int64_t base = origin == SeekFromBegin     ? 0
                       : origin == SeekFromCurrent ? int64_t(file->position)
                                                   : int64_t(file->memorySize);
  if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) return -1;
  file->position = uint64_t(base + distance);
  return int64_t(file->position);
}

uint32_t ArchiveFileRead(ArchiveFile* file, void* buffer, uint32_t count) {
  if (!file) return 0;
  if (file->stream) return uint32_t(std::fread(buffer, 1, count, file->stream));
  if (file->position >= file->memorySize) return 0;
  const uint64_t available = file->memorySize - file->position;
  const uint32_t got = available < count ? uint32_t(available) : count;
  std::memcpy(buffer, file->memory + file->position, got);
  file->position += got;
  return got;
}

int64_t ArchiveFileSize(ArchiveFile* file) {
  if (!file) return -1;
  if (!file->stream) return int64_t(file->memorySize);
  const off_t here = ftello(file->stream);
  if (here < 0 || fseeko(file->stream, 0, SEEK_END) != 0) return -1;
  const off_t size = ftello(file->stream);
  fseeko(file->stream, here, SEEK_SET);
  return int64_t(size);
}

uint32_t CurrentDirectory(char* buffer, uint32_t size) {
  char path[4096];
  if (!getcwd(path, sizeof path)) return 0;
  const size_t length = std::strlen(path);
  if (length + 1 > size) return 0;
  std::memcpy(buffer, path, length + 1);
  return uint32_t(length);
}
