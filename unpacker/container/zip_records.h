// The ZIP records the extractor reads (ZIP application note, sections 4.3.7, 4.3.12, 4.3.14 to
// 4.3.16, 4.5.3): local file headers front to back, and the central directory once, for the
// attributes; the Zip64 extra field and end records wherever a 32-bit field is too small.
//
// The ZIP data lies between ExtractorOptions.ArchiveOffset and ArchiveEnd. Its offsets count
// from either end of the bias: from the first byte of the ZIP data (a ZIP file appended as it
// is) or from the start of the program file (as `zip -A` adjusts them); the end records tell
// which. A Zip64 field that is missing where it is needed, contradicts the 32-bit record or
// points beyond the ZIP data makes the archive damaged.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"

constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kZip64EndRecordSize = 56;  // without extensible data

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;  // also: check byte from the time, not the CRC
constexpr uint16_t kMethodAes = 99;               // WinZip AES; the real method is in the extra
constexpr uint16_t kAesExtraId = 0x9901;
constexpr uint16_t kFlagUtf8Name = 0x0800;   // the name (and comment) are UTF-8
constexpr uint16_t kUnicodePathId = 0x7075;  // Info-ZIP's Unicode Path extra field
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;  // a 32-bit field whose value is in the Zip64 field

// The 30 fixed bytes of the current local file header, the sizes completed from the Zip64 extra
// field or the central directory.
struct LocalHeaderRecord {
  uint32_t Signature;
  uint16_t VersionNeeded;
  uint16_t Flags;
  uint16_t Method;       // 0 stored, 8 deflated
  uint32_t DosDateTime;  // time in the low 16 bits, date in the high 16 bits
  uint32_t Crc32;
  uint64_t CompressedSize;  // includes the encryption header (and AES trailer) if encrypted
  uint64_t UncompressedSize;
  uint16_t NameLength;
  uint16_t ExtraLength;
  bool Zip64;  // the sizes came from the Zip64 extra field: a data descriptor holds 8-byte sizes
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
  uint8_t MadeByHost;  // high byte of "version made by": 0 MS-DOS, 3 Unix, 10 NTFS, ...
  uint16_t Flags;
  uint32_t Crc32;
  uint64_t CompressedSize;
  uint64_t UncompressedSize;
  uint64_t LocalHeaderOffset;  // in the program file, the bias applied
};
extern ZeroedArray<CentralEntryFacts> EntryFacts;

// The number of entries the end record lists; 0 when no end record was found.
extern uint32_t ListedEntryCount;

enum class EntryFound {
  Yes,          // LocalHeader holds the entry's header, its CRC-32 and sizes completed
  No,           // the entries have ended
  Unreachable,  // a streamed entry without its sizes: its data and what follows cannot be found
  Damaged,      // a Zip64 field is missing, contradicts its record or points beyond the ZIP data
};

// Reads the next local header at the current position into LocalHeader. True: a header was
// read, the position is at the entry's name, EntryRemaining = the compressed size. False: the
// entry sequence has ended (EntryRemaining = 0). Markers 50 4B 07 08 are stepped over.
bool ReadLocalHeader();

// Fills EntryAttributes and EntryFacts (count elements, 0 where nothing is found) and
// ListedEntryCount from the central directory that the end record locates. The end record
// closes the ZIP data: it is its last 22 bytes (so the archive carries no comment), or is
// followed by up to 7 zero bytes that align a certificate table behind it. Stops silently at
// the first record that is not where it should be, or lies outside the directory's extent.
// False when the Zip64 end records or a central record's Zip64 field are damaged; nothing is
// kept then.
bool CollectEntryAttributes(uint32_t count);

// Completes LocalHeader from the Zip64 extra field (`extra`, its `length` bytes) where a size
// field holds kZip64Marker, and notes whether the field is there (LocalHeader.Zip64). False
// when the field is missing or too short for the sizes deferred to it.
bool TakeLocalZip64Sizes(const uint8_t* extra, uint32_t length);

// For an entry with flag bit 3 whose local header holds no CRC-32 and no sizes: takes them
// from the entry's central record (entry index `index`). Unreachable when they are needed and
// the central directory did not give them (the entry's data cannot be found then), Damaged
// when reading the central directory for them found it damaged.
EntryFound CompleteLocalHeader(uint32_t index);

// The data of the extra-field block `id` in `extra` (`length` bytes of blocks of a 2-byte id,
// a 2-byte size and that many bytes) and its size; null when there is none.
const uint8_t* FindExtraField(const uint8_t* extra, uint32_t length, uint16_t id, uint32_t* size);

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
// both sizes, with or without the signature 50 4B 07 08; the sizes are 8 bytes each for an
// entry with the Zip64 extra field), if one is there. Some writers set the bit without writing
// a descriptor; then nothing is skipped.
void SkipDataDescriptor();
