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
constexpr uint16_t kMethodAes = 99;               // WinZip AES; the real method is in the extra
constexpr uint16_t kAesExtraId = 0x9901;
constexpr uint16_t kFlagUtf8Name = 0x0800;   // the name (and comment) are UTF-8
constexpr uint16_t kUnicodePathId = 0x7075;  // Info-ZIP's Unicode Path extra field

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

// What the central directory says of every entry, in archive order: streaming writers leave
// the CRC-32 and the sizes out of the local header (flag bit 3) and put them here and into a
// data descriptor behind the data.
struct CentralEntryFacts {
  bool Present;
  uint16_t Flags;
  uint32_t Crc32;
  uint32_t CompressedSize;
  uint32_t UncompressedSize;
};
extern ZeroedArray<CentralEntryFacts> EntryFacts;

// The number of entries the end record lists; 0 when no end record was found.
extern uint32_t ListedEntryCount;

// Reads the next local header at the current position into LocalHeader. True: a header was
// read, the position is at the entry's name, EntryRemaining = the compressed size. False: the
// entry sequence has ended (EntryRemaining = 0). Markers 50 4B 07 08 are stepped over.
bool ReadLocalHeader();

// Fills EntryAttributes and EntryFacts (count elements, 0 where nothing is found) and
// ListedEntryCount from the central directory located by the end record in the last 22 bytes
// of the file. Stops silently at the first record that is not where it should be.
void CollectEntryAttributes(uint32_t count);

// For an entry with flag bit 3 whose local header holds no CRC-32 and no sizes: takes them
// from the entry's central record (entry index `index`). False when they are needed and the
// central directory did not give them; the entry's data cannot be found then.
bool CompleteLocalHeader(uint32_t index);

// The WinZip AES extra field of an entry, found in `extra` (the extra field's `length` bytes):
// the format version (1 or 2), the key strength (1, 2, 3) and the real compression method.
// False when there is no such field or it is not one of these formats.
struct AesExtraField {
  uint8_t Version;
  uint8_t Strength;
  uint16_t Method;
};
bool FindAesExtraField(const uint8_t* extra, uint32_t length, AesExtraField* field);

// Behind the data of an entry with flag bit 3: steps over its data descriptor (CRC-32 and
// both sizes, with or without the signature 50 4B 07 08), if one is there. Some writers set
// the bit without writing a descriptor; then nothing is skipped.
void SkipDataDescriptor();
