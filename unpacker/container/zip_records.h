// The ZIP records the extractor reads (ZIP application note, sections 4.3.7, 4.3.12, 4.3.16):
// local file headers front to back, and the central directory once, for the attributes.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kEndRecordSize = 22;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // also: check byte from the time, not the CRC

// The 30 fixed bytes of the current local file header.
struct LocalHeaderRecord {
  uint32_t Signature;
  uint16_t VersionNeeded;
  uint16_t Flags;
  uint16_t Method;       // 0 stored, 8 deflated
  uint32_t DosDateTime;  // time in the low 16 bits, date in the high 16 bits
  uint32_t Crc32;
  uint32_t CompressedSize;  // includes the 12-byte encryption header of an encrypted entry
  uint32_t UncompressedSize;
  uint16_t NameLength;
  uint16_t ExtraLength;
};

extern LocalHeaderRecord LocalHeader;

// Entry data bytes not yet read for the current entry; the decoders consume it.
extern int64_t EntryRemaining;

// External file attributes of every entry, in archive order, from the central directory.
extern UInt32Array EntryAttributes;

// Reads the next local header at the current position into LocalHeader. True: a header was
// read, the position is at the entry's name, EntryRemaining = the compressed size. False: the
// entry sequence has ended (EntryRemaining = 0). Markers 50 4B 07 08 are stepped over.
bool ReadLocalHeader();

// Fills EntryAttributes (count elements, 0 where nothing is found) from the central directory
// located by the end record in the last 22 bytes of the file. Stops silently at the first
// record that is not where it should be.
void CollectEntryAttributes(uint32_t count);
