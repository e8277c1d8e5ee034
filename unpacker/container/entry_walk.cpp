#include "unpacker/container/entry_walk.h"

#include <cstdlib>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

namespace {

uint32_t entriesRead = 0;

}  // namespace

void BeginEntryWalk() {
  entriesRead = 0;
  SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
}

EntryFound NextEntry(WalkedEntry* entry) {
  if (!ReadLocalHeader()) return EntryFound::No;
  entry->Index = entriesRead++;
  const int64_t namePosition = ArchivePosition();
  // Name and extra field are read in full, in one read: each length field allows 65,535
  // bytes. The extra field may hold the AES parameters, the Zip64 sizes (a streamed entry's
  // data descriptor then holds 8-byte sizes) and a Unicode name.
  LocalHeaderRecord& h = LocalHeader;
  const uint32_t toRead = uint32_t(h.NameLength) + h.ExtraLength;
  char* name = static_cast<char*>(std::malloc(size_t(toRead) + 1));
  if (!name) FatalOutOfMemory();
  uint32_t got;
  ReadArchive(name, toRead, &got);
  const uint8_t* extra = reinterpret_cast<uint8_t*>(name) + h.NameLength;
  const uint32_t extraLength = got == toRead ? h.ExtraLength : 0;
  entry->Extra = ByteString(reinterpret_cast<const char*>(extra), extraLength);
  entry->AesStrength = entry->AesVersion = 0;
  AesExtraField field;
  if (h.Method == kMethodAes && (h.Flags & kFlagEncrypted) &&
      FindAesExtraField(extra, extraLength, &field)) {
    entry->AesStrength = field.Strength;
    entry->AesVersion = field.Version;
    h.Method = field.Method;
  }
  const bool sizesKnown = TakeLocalZip64Sizes(extra, extraLength);
  name[got < h.NameLength ? got : h.NameLength] = 0;
  entry->Name = ByteString(name);  // up to the first NUL, as a C string would end it
  std::free(name);
  if (!sizesKnown) return EntryFound::Damaged;
  const EntryFound found = CompleteLocalHeader(entry->Index);
  if (found != EntryFound::Yes) return found;
  entry->DataStart = namePosition + h.NameLength + h.ExtraLength;
  // A Zip64 size is never trusted beyond the ZIP data: it would reach past any file.
  if (h.Zip64 && (entry->DataStart > int64_t(ExtractorOptions.ArchiveEnd) ||
                  h.CompressedSize > ExtractorOptions.ArchiveEnd - uint64_t(entry->DataStart)))
    return EntryFound::Damaged;
  EntryRemaining = int64_t(h.CompressedSize);
  entry->DataEnd = entry->DataStart + int64_t(h.CompressedSize);
  SeekArchiveWithinWalk(entry->DataStart);
  return EntryFound::Yes;
}

void SkipEntry(const WalkedEntry& entry) {
  SeekArchiveWithinWalk(entry.DataEnd);
  SkipDataDescriptor();
}
