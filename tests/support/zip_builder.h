// Builds ZIP data for tests, including the shapes other tools produce (data descriptors, extra
// fields, archive comments, Zip64 records) and deliberately damaged ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ArchiveEntry {
  std::string name = {};           // raw bytes as stored
  std::vector<uint8_t> data = {};  // the file's content (uncompressed)
  uint16_t method = 0;             // 0 store, 8 deflate (zlib, raw); others stored as given
  uint16_t flags = 0;
  uint32_t dosDateTime = 0x5A8B6C21;   // 2025-04-11 13:33:02
  uint32_t externalAttributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
  std::vector<uint8_t> extra = {};
  std::string password = {};    // non-empty: traditional PKWARE encryption
  bool dataDescriptor = false;  // write a data descriptor behind the data (sets flag bit 3)
  bool descriptorSignature = true;
  bool zeroSizesInLocalHeader = false;  // as streaming writers do with bit 3
  // Replaces the stored data (after compression and encryption) when set.
  const std::vector<uint8_t>* rawData = nullptr;
  // Both sizes (and in the central record the local header's offset) in a Zip64 extra field
  // in front of `extra`, their 32-bit fields 0xFFFFFFFF; a data descriptor's sizes take 8 bytes.
  bool zip64 = false;
};

struct ZipBuildOptions {
  std::string comment = {};
  // The Zip64 end record and its locator before the end record, whose count, directory size
  // and offset then hold 0xFFFF and 0xFFFFFFFF.
  bool zip64EndRecords = false;
  // Added to every offset stored (central directory, local headers, Zip64 end record): offsets
  // counted from the start of a program file whose ZIP data begins there, as `zip -A` makes.
  uint32_t offsetBias = 0;
};

struct BuiltZip {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> localHeaderOffsets;
  uint32_t centralDirectoryOffset = 0;
  uint32_t zip64EndRecordOffset = 0;  // with zip64EndRecords; the locator follows it (56 bytes on)
  uint32_t endRecordOffset = 0;
};

BuiltZip BuildZip(const std::vector<ArchiveEntry>& entries, const ZipBuildOptions& options = {});

// zlib's raw deflate (no zlib header) at a level and strategy, with a flush of the given kind
// after every `every` bytes.
std::vector<uint8_t> RawDeflate(const std::vector<uint8_t>& data, int level = 6,
                                int strategy = 0 /* Z_DEFAULT_STRATEGY */,
                                int flush = 0 /* Z_NO_FLUSH */, size_t every = SIZE_MAX);

// zlib's verdict on a raw deflate stream: its bytes (up to `limit`), or nothing when zlib finds
// it broken or cut short.
std::optional<std::vector<uint8_t>> RawInflate(const uint8_t* stream, size_t size,
                                               size_t limit = 64 << 20);

uint32_t ZlibCrc32(const std::vector<uint8_t>& data);

// Traditional PKWARE encryption of `plain`, with a 12-byte header whose last byte is
// `checkByte`.
std::vector<uint8_t> EncryptTraditional(const std::vector<uint8_t>& plain,
                                        const std::string& password, uint8_t checkByte);

}  // namespace testing_support
