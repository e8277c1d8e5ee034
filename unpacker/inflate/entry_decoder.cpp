#include "unpacker/inflate/entry_decoder.h"

#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/crypto/entry_cipher.h"

DecodeResult DecodeEntry(const WalkedEntry& entry, OutputFile* output) {
  const uint32_t header = EncryptionHeaderSize(entry);
  EntryRemaining = int64_t(LocalHeader.CompressedSize) - header - EncryptionTrailerSize(entry);
  if (EntryRemaining < 0) {
    EndEntryDecryption();
    return DecodeResult::Damaged;
  }
  SeekArchiveWithinWalk(entry.DataStart + header);
  RunningCrc = 0xFFFFFFFF;
  OutputHandle = output;
  BeginEntryDecryption(entry);
  const bool known = DecompressEntry();
  OutputHandle = nullptr;
  if (!known) {
    EndEntryDecryption();
    return DecodeResult::UnknownMethod;
  }
  // A stopped decode is judged no further: the rest of its data need not be read.
  const bool authentic = CancelRequested ? (EndEntryDecryption(), false) : AuthenticateEntry(entry);
  // AE-2 leaves the CRC-32 out (the field is 0): the authentication code stands in for it.
  const bool crcGood = entry.AesVersion == 2 || (RunningCrc ^ 0xFFFFFFFF) == LocalHeader.Crc32;
  return authentic && crcGood ? DecodeResult::Good : DecodeResult::Damaged;
}
