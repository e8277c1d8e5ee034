// Extras of the native file access: an archive held in memory (tests, fuzz targets).
#pragma once

#include <cstddef>
#include <cstdint>

#include "unpacker/container/archive_file.h"

// Opens `size` bytes at `data` as a read-only file; the bytes must outlive the handle.
ArchiveFile* OpenArchiveMemory(const uint8_t* data, size_t size);
