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
  // bytes. The extra field may hold the AES parameters and a Unicode name.
  const uint32_t toRead = uint32_t(LocalHeader.NameLength) + LocalHeader.ExtraLength;
  char* name = static_cast<char*>(std::malloc(size_t(toRead) + 1));
  if (!name) FatalOutOfMemory();
  uint32_t got;
  ReadArchive(name, toRead, &got);
  const uint32_t extraGot = got > LocalHeader.NameLength ? got - LocalHeader.NameLength : 0;
  entry->Extra = ByteString(name + LocalHeader.NameLength, extraGot);
  entry->AesStrength = entry->AesVersion = 0;
  AesExtraField field;
  if (LocalHeader.Method == kMethodAes && (LocalHeader.Flags & kFlagEncrypted) &&
      FindAesExtraField(reinterpret_cast<const uint8_t*>(entry->Extra.c_str()), extraGot, &field)) {
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
