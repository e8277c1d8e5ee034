#include "unpacker/container/zip_records.h"

#include "unpacker/container/archive_access.h"
#include "unpacker/container/little_endian.h"
#include "unpacker/container/option_block.h"

LocalHeaderRecord LocalHeader;
int64_t EntryRemaining = 0;
UInt32Array EntryAttributes;
ZeroedArray<CentralEntryFacts> EntryFacts;
uint32_t ListedEntryCount = 0;

namespace {

// The stub's own image must not contain the local-header and marker signatures: a ZIP reader
// that searches the self-extracting file for them would otherwise take the program's code for
// archive records. They are stored as the value plus one, and the volatile read keeps the
// compiler from folding the subtraction back into the plain constant.
volatile uint32_t LocalHeaderSignaturePlusOne = 0x04034B51;
volatile uint32_t SpanMarkerSignaturePlusOne = 0x08074B51;
constexpr uint32_t kOldLocalHeaderSignature = 0x50000000;  // bytes 00 00 00 50
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;

void ParseLocalHeader(const uint8_t* raw) {
  LocalHeaderRecord& h = LocalHeader;
  h.Signature = LoadU32(raw);
  h.VersionNeeded = LoadU16(raw + 4);
  h.Flags = LoadU16(raw + 6);
  h.Method = LoadU16(raw + 8);
  h.DosDateTime = LoadU32(raw + 10);
  h.Crc32 = LoadU32(raw + 14);
  h.CompressedSize = LoadU32(raw + 18);
  h.UncompressedSize = LoadU32(raw + 22);
  h.NameLength = LoadU16(raw + 26);
  h.ExtraLength = LoadU16(raw + 28);
}

}  // namespace

bool ReadLocalHeader() {
  // A loop rather than a call per marker: a run of markers must not grow the stack.
  for (;;) {
    LocalHeader = LocalHeaderRecord{};
    uint8_t raw[kLocalHeaderSize];
    uint32_t got;
    const int64_t start = ArchivePosition();
    ReadArchive(raw, sizeof raw, &got);
    // A header cut short by the end of the file counts as no header.
    if (got == sizeof raw) ParseLocalHeader(raw);

    const uint32_t signature = LocalHeader.Signature;
    if (signature == LocalHeaderSignaturePlusOne - 1 || signature == kOldLocalHeaderSignature) {
      EntryRemaining = LocalHeader.CompressedSize;
      return true;
    }
    EntryRemaining = 0;
    if (got < 4 || LoadU32(raw) != SpanMarkerSignaturePlusOne - 1) return false;
    SeekArchive(start + 4, SeekFromBegin);
  }
}

namespace {

// Reads the end record from the last 22 bytes of the file; false when it is not there (the
// archive has a comment, or is no ZIP archive at all).
bool ReadEndRecord(uint8_t* end) {
  const int64_t fileSize = ArchiveFileSize(ArchiveHandle);
  if (fileSize < int64_t(kEndRecordSize)) return false;
  uint32_t got;
  SeekArchive(fileSize - kEndRecordSize, SeekFromBegin);
  ReadArchive(end, kEndRecordSize, &got);
  return got == kEndRecordSize && LoadU32(end) == kEndRecordSignature;
}

}  // namespace

void CollectEntryAttributes(uint32_t count) {
  uint8_t end[kEndRecordSize];
  if (!ReadEndRecord(end)) return;
  ListedEntryCount = LoadU16(end + 10);
  EntryAttributes.SetLength(count);
  EntryFacts.SetLength(count);
  int64_t position = int64_t(ExtractorOptions.ArchiveOffset) + LoadU32(end + 16);
  SeekArchive(position, SeekFromBegin);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t central[kCentralHeaderSize];
    uint32_t got;
    ReadArchive(central, sizeof central, &got);
    if (got < sizeof central || LoadU32(central) != kCentralHeaderSignature) return;
    EntryAttributes[i] = LoadU32(central + 38);
    EntryFacts[i] = {true, LoadU16(central + 8), LoadU32(central + 16), LoadU32(central + 20),
                     LoadU32(central + 24)};
    position +=
        kCentralHeaderSize + LoadU16(central + 28) + LoadU16(central + 30) + LoadU16(central + 32);
    SeekArchive(position, SeekFromBegin);
  }
}

bool CompleteLocalHeader(uint32_t index) {
  LocalHeaderRecord& h = LocalHeader;
  if (!(h.Flags & kFlagDataDescriptor) || h.Crc32 != 0 || h.CompressedSize != 0 ||
      h.UncompressedSize != 0)
    return true;
  if (index >= EntryFacts.size()) {
    // The scan pass meets such an entry before it has read the central directory: read it
    // now, as far as the end record lists entries, and come back.
    const int64_t here = ArchivePosition();
    uint8_t end[kEndRecordSize];
    if (ReadEndRecord(end) && LoadU16(end + 10) > index) CollectEntryAttributes(LoadU16(end + 10));
    SeekArchive(here, SeekFromBegin);
  }
  if (index >= EntryFacts.size() || !EntryFacts[index].Present) return false;
  const CentralEntryFacts& facts = EntryFacts[index];
  h.Crc32 = facts.Crc32;
  h.CompressedSize = facts.CompressedSize;
  h.UncompressedSize = facts.UncompressedSize;
  EntryRemaining = h.CompressedSize;
  return true;
}

void SkipDataDescriptor() {
  if (!(LocalHeader.Flags & kFlagDataDescriptor)) return;
  uint8_t head[4];
  uint32_t got;
  const int64_t dataEnd = ArchivePosition();
  ReadArchive(head, sizeof head, &got);
  if (got == sizeof head && LoadU32(head) == SpanMarkerSignaturePlusOne - 1)
    SeekArchive(dataEnd + 16, SeekFromBegin);
  else if (got == sizeof head && LoadU32(head) == LocalHeader.Crc32)
    SeekArchive(dataEnd + 12, SeekFromBegin);  // a descriptor without its signature
  else
    SeekArchive(dataEnd, SeekFromBegin);
}

bool FindAesExtraField(const uint8_t* extra, uint32_t length, AesExtraField* field) {
  // Blocks of a 2-byte id, a 2-byte size and that many bytes; the AES block holds the version
  // (2 bytes), the vendor "AE", the strength (1 byte) and the method (2 bytes).
  for (uint32_t at = 0; at + 4 <= length;) {
    const uint16_t id = LoadU16(extra + at), size = LoadU16(extra + at + 2);
    if (at + 4 + size > length) return false;
    const uint8_t* data = extra + at + 4;
    if (id == kAesExtraId && size >= 7) {
      const uint16_t version = LoadU16(data);
      field->Version = uint8_t(version);
      field->Strength = data[4];
      field->Method = LoadU16(data + 5);
      return (version == 1 || version == 2) && data[2] == 'A' && data[3] == 'E' &&
             field->Strength >= 1 && field->Strength <= 3;
    }
    at += 4 + size;
  }
  return false;
}
