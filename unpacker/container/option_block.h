// The layout of the program file: PE image, a 256-byte option block opening with "MPU", and
// the ZIP data to the end of the file.
//
//   offset (from the image end)  content
//   0    3                       "MPU"
//   3    1                       flags: 0x08 overwrite by default, 0x40 extract at once,
//                                0x80 wait for the run command, then delete the files
//   4..6 1 each                  L1, L2, L3: lengths of caption, default folder, run command
//   7    L1 + L2 + L3            the three texts (ANSI code page, no terminators)
//   256                          first byte of the ZIP data
#pragma once

#include <cstdint>

#include "unpacker/container/archive_file.h"

constexpr uint32_t kOptionBlockSize = 256;
constexpr uint32_t kOptionTextBufferSize = 261;  // longest Windows path + NUL; a text has <= 255
constexpr uint32_t kStartDirectorySize = 256;

constexpr uint8_t kFlagOverwriteByDefault = 0x08;
constexpr uint8_t kFlagAutoExtract = 0x40;
constexpr uint8_t kFlagWaitThenDelete = 0x80;

struct ExtractorOptionsRecord {
  bool OverwriteByDefault;
  bool AutoExtract;
  bool WaitThenDelete;
  bool HasCaption;
  char Caption[kOptionTextBufferSize];
  bool HasDefaultFolder;
  char DefaultFolder[kOptionTextBufferSize];  // meaningful only when HasDefaultFolder
  bool HasRunCommand;
  char RunCommand[kOptionTextBufferSize];
  // First byte of the ZIP data; every offset inside the ZIP data is relative to it.
  uint64_t ArchiveOffset;
  // The current directory when the option block was read; empty without an option block.
  char StartDirectory[kStartDirectorySize];
};

extern ExtractorOptionsRecord ExtractorOptions;

// The offset just behind the PE image of an open file: the end of the raw data of the section
// that lies last in the file. 0 when the file has no valid MZ and PE headers or the headers
// are malformed. Leaves the file position where it was.
uint64_t FindImageEnd(ArchiveFile* file);

// The machine field of an open file's PE file header (kMachineX86, kMachineX64, ...); 0 without
// valid MZ and PE headers. Leaves the file position where it was.
constexpr uint16_t kMachineX86 = 0x014C;
constexpr uint16_t kMachineX64 = 0x8664;
uint16_t FindImageMachine(ArchiveFile* file);

// Fills ExtractorOptions from ArchiveHandle. Shows no message.
void ReadOptionBlock();
