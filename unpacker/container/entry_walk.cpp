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
  // Names are read in full: a length field allows 65,535 bytes. The extra field is read with
  // the name only where it matters: for an AES entry it holds the key strength and real method.
  const bool aes = LocalHeader.Method == kMethodAes && (LocalHeader.Flags & kFlagEncrypted);
  const uint32_t toRead = LocalHeader.NameLength + (aes ? LocalHeader.ExtraLength : 0);
  char* name = static_cast<char*>(std::malloc(size_t(toRead) + 1));
  if (!name) FatalOutOfMemory();
  uint32_t got;
  ReadArchive(name, toRead, &got);
  entry->AesStrength = entry->AesVersion = 0;
  AesExtraField field;
  if (aes && got == toRead &&
      FindAesExtraField(reinterpret_cast<uint8_t*>(name) + LocalHeader.NameLength,
                        LocalHeader.ExtraLength, &field)) {
    entry->AesStrength = field.Strength;
    entry->AesVersion = field.Version;
    LocalHeader.Method = field.Method;
  }
  name[got < LocalHeader.NameLength ? got : LocalHeader.NameLength] = 0;
  entry->Name = ByteString(name);  // up to the first NUL, as a C string would end it
  std::free(name);
  if (!CompleteLocalHeader(entry->Index)) return EntryFound::Unreachable;
  entry->DataStart = namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength;
  entry->DataEnd = entry->DataStart + LocalHeader.CompressedSize;
  SeekArchive(entry->DataStart, SeekFromBegin);
  return EntryFound::Yes;
}

void SkipEntry(const WalkedEntry& entry) {
  SeekArchive(entry.DataEnd, SeekFromBegin);
  SkipDataDescriptor();
}
