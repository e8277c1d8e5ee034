#include "unpacker/inflate/entry_decoder.h"

#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/zip_crypto.h"

DecodeResult DecodeEntry(const WalkedEntry& entry, OutputFile* output) {
  const uint32_t header = (LocalHeader.Flags & kFlagEncrypted) ? kEncryptionHeaderSize : 0;
  EntryRemaining = int64_t(LocalHeader.CompressedSize) - header;
  if (EntryRemaining < 0) return DecodeResult::Damaged;
  SeekArchive(entry.DataStart + header, SeekFromBegin);
  RunningCrc = 0xFFFFFFFF;
  OutputHandle = output;
  const bool known = DecompressEntry();
  OutputHandle = nullptr;
  if (!known) return DecodeResult::UnknownMethod;
  return (RunningCrc ^ 0xFFFFFFFF) == LocalHeader.Crc32 ? DecodeResult::Good
                                                        : DecodeResult::Damaged;
}
