#include "unpacker/container/zip_records.h"

#include <cstdlib>

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
      EntryRemaining = int64_t(LocalHeader.CompressedSize);
      return true;
    }
    EntryRemaining = 0;
    if (got < 4 || LoadU32(raw) != SpanMarkerSignaturePlusOne - 1) return false;
    SeekArchive(start + 4, SeekFromBegin);
  }
}

namespace {

constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr uint32_t kZip64RecordSizeField = 12;  // the record size counts the bytes behind it
constexpr uint32_t kCertificatePadding = 7;     // a certificate table starts on 8 bytes
constexpr uint16_t kCountMarker = 0xFFFF;

// Reads exactly count bytes at position.
bool ReadAt(int64_t position, void* buffer, uint32_t count) {
  uint32_t got = 0;
  if (SeekArchive(position, SeekFromBegin) == 0) ReadArchive(buffer, count, &got);
  return got == count;
}

// Replaces each value that holds kZip64Marker by the next 8 bytes of the Zip64 extra field, in
// the order given (uncompressed size, compressed size, local header offset). False when the
// field is missing or too short for them.
bool TakeZip64Values(const uint8_t* extra, uint32_t length, uint64_t* const* values,
                     uint32_t count) {
  uint32_t size = 0;
  const uint8_t* field = FindExtraField(extra, length, kZip64ExtraId, &size);
  for (uint32_t i = 0, at = 0; i < count; ++i) {
    if (*values[i] != kZip64Marker) continue;
    if (!field || at + 8 > size) return false;
    *values[i] = LoadU64(field + at);
    at += 8;
  }
  return true;
}

// Where the central directory lies and how its offsets are counted.
struct CentralDirectory {
  int64_t Start = 0;  // the first central record
  int64_t End = 0;    // behind the last one
  int64_t Bias = 0;   // the file position of offset 0: ArchiveOffset, or 0 for file offsets
  uint64_t Entries = 0;
};

enum class DirectoryFound { No, Yes, Damaged };

// The end record: the last 22 bytes of the ZIP data, or before up to 7 zero bytes that pad
// them to a certificate table. Its file position, or -1 when it is not there.
int64_t FindEndRecord(uint8_t (&end)[kEndRecordSize]) {
  const int64_t first = int64_t(ExtractorOptions.ArchiveOffset);
  const int64_t last = int64_t(ExtractorOptions.ArchiveEnd);
  const uint32_t padding = last < ArchiveFileSize(ArchiveHandle) ? kCertificatePadding : 0;
  uint8_t tail[kEndRecordSize + kCertificatePadding];
  const int64_t available = last - first;
  if (available < int64_t(kEndRecordSize)) return -1;
  const uint32_t length = available < int64_t(sizeof tail) ? uint32_t(available) : sizeof tail;
  if (!ReadAt(last - length, tail, length)) return -1;
  for (uint32_t pad = 0; pad <= padding && pad + kEndRecordSize <= length; ++pad) {
    const uint8_t* record = tail + length - pad - kEndRecordSize;
    if (LoadU32(record) == kEndRecordSignature) {
      for (uint32_t i = 0; i < kEndRecordSize; ++i) end[i] = record[i];
      return last - pad - kEndRecordSize;
    }
    if (tail[length - 1 - pad] != 0) break;
  }
  return -1;
}

// Reads the end record, and the Zip64 end record where its locator precedes the end record.
// The central directory ends where the end record (or the Zip64 end record) begins; its size
// gives its start, and the difference to the stored offset is the bias, which must be one of
// the two conventions. A 32-bit directory that is not where it says has an empty extent (no
// attributes, as before the Zip64 format); everything that goes wrong with the Zip64 records
// is damage.
DirectoryFound LocateCentralDirectory(CentralDirectory* d) {
  uint8_t end[kEndRecordSize];
  const int64_t endAt = FindEndRecord(end);
  if (endAt < 0) return DirectoryFound::No;
  const int64_t first = int64_t(ExtractorOptions.ArchiveOffset);
  uint64_t entries = LoadU16(end + 10), size = LoadU32(end + 12), offset = LoadU32(end + 16);
  int64_t directoryEnd = endAt, bias = -1;
  uint8_t locator[kZip64LocatorSize];
  const int64_t locatorAt = endAt - kZip64LocatorSize;
  if (locatorAt >= first && ReadAt(locatorAt, locator, sizeof locator) &&
      LoadU32(locator) == kZip64LocatorSignature) {
    const uint64_t stored = LoadU64(locator + 8);
    uint8_t record[kZip64EndRecordSize];
    const int64_t conventions[] = {first, 0};  // offsets from the ZIP data or from the file
    for (const int64_t candidate : conventions) {
      if (stored > uint64_t(locatorAt - candidate)) continue;
      const int64_t at = candidate + int64_t(stored);
      if (at >= first && locatorAt - at >= int64_t(kZip64EndRecordSize) &&
          ReadAt(at, record, sizeof record) && LoadU32(record) == kZip64EndRecordSignature &&
          LoadU64(record + 4) == uint64_t(locatorAt - at - kZip64RecordSizeField)) {
        bias = candidate;
        directoryEnd = at;
        break;
      }
    }
    if (bias < 0) return DirectoryFound::Damaged;
    const uint64_t entries64 = LoadU64(record + 32), size64 = LoadU64(record + 40),
                   offset64 = LoadU64(record + 48);
    if ((entries != kCountMarker && entries != entries64) ||
        (size != kZip64Marker && size != size64) || (offset != kZip64Marker && offset != offset64))
      return DirectoryFound::Damaged;
    entries = entries64;
    size = size64;
    offset = offset64;
    // Every central record takes 46 bytes at least: a count beyond that is no count.
    if (size > uint64_t(directoryEnd - first) || entries > 0xFFFFFFFFu ||
        entries * kCentralHeaderSize > size || offset != uint64_t(directoryEnd - bias) - size)
      return DirectoryFound::Damaged;
  } else if (size == kZip64Marker || offset == kZip64Marker) {
    return DirectoryFound::Damaged;  // the Zip64 end record is needed and missing
  } else if (size <= uint64_t(directoryEnd - first)) {
    const int64_t start = directoryEnd - int64_t(size);
    if (start - int64_t(offset) == first || start == int64_t(offset))
      bias = start - int64_t(offset);
  }
  d->Entries = entries;
  d->Bias = bias < 0 ? 0 : bias;
  d->End = directoryEnd;
  d->Start = bias < 0 ? directoryEnd : directoryEnd - int64_t(size);
  return DirectoryFound::Yes;
}

// Reads the central records of `d` into EntryAttributes and EntryFacts (count elements).
bool ReadCentralRecords(const CentralDirectory& d, uint32_t count) {
  ListedEntryCount = uint32_t(d.Entries);
  EntryAttributes.SetLength(count);
  EntryFacts.SetLength(count);
  const uint64_t dataBefore = uint64_t(d.Start) - ExtractorOptions.ArchiveOffset;
  int64_t position = d.Start;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t central[kCentralHeaderSize];
    if (d.End - position < int64_t(kCentralHeaderSize) ||
        !ReadAt(position, central, sizeof central) || LoadU32(central) != kCentralHeaderSignature)
      return true;
    const uint32_t nameLength = LoadU16(central + 28), extraLength = LoadU16(central + 30);
    const int64_t next =
        position + kCentralHeaderSize + nameLength + extraLength + LoadU16(central + 32);
    if (next > d.End) return true;
    uint64_t compressed = LoadU32(central + 20), uncompressed = LoadU32(central + 24),
             offset = LoadU32(central + 42);
    if (compressed == kZip64Marker || uncompressed == kZip64Marker || offset == kZip64Marker) {
      uint8_t* extra = static_cast<uint8_t*>(std::malloc(extraLength + 1));
      if (!extra) FatalOutOfMemory();
      uint64_t* const values[] = {&uncompressed, &compressed, &offset};
      const bool taken = ReadAt(position + kCentralHeaderSize + nameLength, extra, extraLength) &&
                         TakeZip64Values(extra, extraLength, values, 3);
      std::free(extra);
      // The entry's data and its local header lie before the central directory.
      if (!taken || compressed > dataBefore || offset >= uint64_t(d.Start - d.Bias)) return false;
    }
    EntryAttributes[i] = LoadU32(central + 38);
    EntryFacts[i] = {true,       central[5],   LoadU16(central + 8),     LoadU32(central + 16),
                     compressed, uncompressed, offset + uint64_t(d.Bias)};
    position = next;
  }
  return true;
}

// Reads the central directory; on damage nothing of it is kept, so every later reader that
// needs it meets the damage again.
bool CollectFrom(const CentralDirectory& d, uint32_t count) {
  if (ReadCentralRecords(d, count)) return true;
  EntryAttributes.SetLength(0);
  EntryFacts.SetLength(0);
  return false;
}

}  // namespace

bool CollectEntryAttributes(uint32_t count) {
  CentralDirectory d;
  switch (LocateCentralDirectory(&d)) {
    case DirectoryFound::No:
      return true;
    case DirectoryFound::Damaged:
      return false;
    case DirectoryFound::Yes:
      break;
  }
  return CollectFrom(d, count);
}

bool TakeLocalZip64Sizes(const uint8_t* extra, uint32_t length) {
  LocalHeaderRecord& h = LocalHeader;
  uint32_t size;
  h.Zip64 = FindExtraField(extra, length, kZip64ExtraId, &size) != nullptr;
  uint64_t* const values[] = {&h.UncompressedSize, &h.CompressedSize};
  return TakeZip64Values(extra, length, values, 2);
}

EntryFound CompleteLocalHeader(uint32_t index) {
  LocalHeaderRecord& h = LocalHeader;
  if (!(h.Flags & kFlagDataDescriptor) || h.Crc32 != 0 || h.CompressedSize != 0 ||
      h.UncompressedSize != 0)
    return EntryFound::Yes;
  if (index >= EntryFacts.size()) {
    // The scan pass meets such an entry before it has read the central directory: read it
    // now, as far as the end record lists entries, and come back.
    const int64_t here = ArchivePosition();
    CentralDirectory d;
    const DirectoryFound found = LocateCentralDirectory(&d);
    const bool damaged =
        found == DirectoryFound::Damaged ||
        (found == DirectoryFound::Yes && d.Entries > index && !CollectFrom(d, uint32_t(d.Entries)));
    SeekArchive(here, SeekFromBegin);
    if (damaged) return EntryFound::Damaged;
  }
  if (index >= EntryFacts.size() || !EntryFacts[index].Present) return EntryFound::Unreachable;
  const CentralEntryFacts& facts = EntryFacts[index];
  h.Crc32 = facts.Crc32;
  h.CompressedSize = facts.CompressedSize;
  h.UncompressedSize = facts.UncompressedSize;
  EntryRemaining = int64_t(h.CompressedSize);
  return EntryFound::Yes;
}

void SkipDataDescriptor() {
  if (!(LocalHeader.Flags & kFlagDataDescriptor)) return;
  uint8_t head[4];
  uint32_t got;
  const int64_t dataEnd = ArchivePosition();
  ReadArchive(head, sizeof head, &got);
  const int64_t sizes = LocalHeader.Zip64 ? 16 : 8;
  if (got == sizeof head && LoadU32(head) == SpanMarkerSignaturePlusOne - 1)
    SeekArchive(dataEnd + 8 + sizes, SeekFromBegin);
  else if (got == sizeof head && LoadU32(head) == LocalHeader.Crc32)
    SeekArchive(dataEnd + 4 + sizes, SeekFromBegin);  // a descriptor without its signature
  else
    SeekArchive(dataEnd, SeekFromBegin);
}

const uint8_t* FindExtraField(const uint8_t* extra, uint32_t length, uint16_t id, uint32_t* size) {
  for (uint32_t at = 0; at + 4 <= length;) {
    const uint32_t blockSize = LoadU16(extra + at + 2);
    if (at + 4 + blockSize > length) return nullptr;
    if (LoadU16(extra + at) == id) {
      *size = blockSize;
      return extra + at + 4;
    }
    at += 4 + blockSize;
  }
  return nullptr;
}

bool FindAesExtraField(const uint8_t* extra, uint32_t length, AesExtraField* field) {
  // The AES block holds the version (2 bytes), the vendor "AE", the strength (1 byte) and the
  // method (2 bytes).
  uint32_t size = 0;
  const uint8_t* data = FindExtraField(extra, length, kAesExtraId, &size);
  if (!data || size < 7) return false;
  const uint16_t version = LoadU16(data);
  field->Version = uint8_t(version);
  field->Strength = data[4];
  field->Method = LoadU16(data + 5);
  return (version == 1 || version == 2) && data[2] == 'A' && data[3] == 'E' &&
         field->Strength >= 1 && field->Strength <= 3;
}
