// The layout of the program file: PE image, a 256-byte option block opening with "MPU", and
// the ZIP data to the end of the file, or to the certificate table of a program signed
// afterwards (Authenticode appends it behind everything else).
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
  // First byte of the ZIP data; the ZIP data's offsets count from it or from the file's start.
  uint64_t ArchiveOffset;
  // The first byte behind the ZIP data: the certificate table's start, or the end of the file.
  // The end records and the central directory lie before it, never inside the signature.
  uint64_t ArchiveEnd;
  // The current directory when the option block was read; empty without an option block.
  char StartDirectory[kStartDirectorySize];
};

extern ExtractorOptionsRecord ExtractorOptions;

// The offset just behind the PE image of an open file: the end of the raw data of the section
// that lies last in the file. 0 when the file has no valid MZ and PE headers or the headers
// are malformed. Leaves the file position where it was.
uint64_t FindImageEnd(ArchiveFile* file);

// The file offset of the certificate table of a signed program, from the PE data directory
// entry 4 (IMAGE_DIRECTORY_ENTRY_SECURITY, which holds a file offset, not an address); 0 when
// the image has none. Leaves the file position where it was.
uint64_t FindCertificateTable(ArchiveFile* file);

// The machine field of an open file's PE file header (kMachineX86, kMachineX64, ...); 0 without
// valid MZ and PE headers. Leaves the file position where it was.
constexpr uint16_t kMachineX86 = 0x014C;
constexpr uint16_t kMachineX64 = 0x8664;
uint16_t FindImageMachine(ArchiveFile* file);

// Fills ExtractorOptions from ArchiveHandle. Shows no message.
void ReadOptionBlock();
