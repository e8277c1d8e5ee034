// Whole entries as the extraction loop hands them over: stored or deflated, encrypted or not,
// in an archive that may end early, cancelled at some message step, written to a disk that
// may fill up.
//
// Input: byte 0 chooses (bit 0: deflated; bit 1: encrypted; bit 2: check byte from the time;
// bits 3-4: cancel at message step 1-3 or never; bit 5: the archive ends 1000 bytes early;
// bit 6: the disk holds 40000 bytes), byte 1 the password's length (0..15), then the password
// and the entry's data (after the 12-byte encryption header when encrypted).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tests/fuzz/inflate/fuzz_sink.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/zip_crypto.h"

namespace {

int cancelAt, writesSeen;

uint32_t WriteAndMaybeCancel(void* context, const void* data, uint32_t count) {
  // The write comes right before the message step that would carry a Close click.
  if (++writesSeen == cancelAt) CancelRequested = true;
  return fuzzing::Sink::Write(context, data, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tables = (BuildCrcTable(), true);
  (void)tables;
  if (size < 2) return 0;
  const uint8_t options = data[0];
  const size_t passwordLength = data[1] % 16;
  if (size < 2 + passwordLength) return 0;
  const char* password = reinterpret_cast<const char*>(data + 2);
  const uint8_t* entry = data + 2 + passwordLength;
  const size_t entrySize = size - 2 - passwordLength;

  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = (options & 1) ? 8 : 0;
  LocalHeader.Flags = uint16_t(((options & 2) ? 1 : 0) | ((options & 4) ? 8 : 0));
  LocalHeader.DosDateTime = 0x5A8B6C21;
  LocalHeader.Crc32 = 0x6C000000;
  ArchiveHandle = OpenArchiveMemory(entry, entrySize);
  EntryRemaining = int64_t(entrySize);
  if (LocalHeader.Flags & 1) {
    uint8_t block[24] = {};
    uint32_t got = 0;
    ReadArchive(block + 12, 12, &got);
    EntryRemaining -= got;
    // Decoded either way: a wrong password that passes by chance decrypts to noise.
    CheckEncryptionHeader(block, 12, LocalHeader.Flags,
                          ByteString(password, uint32_t(passwordLength)), LocalHeader.DosDateTime,
                          LocalHeader.Crc32);
  }
  const int64_t available = EntryRemaining;
  if (options & 0x20) EntryRemaining += 1000;
  cancelAt = (options >> 3) & 3;
  writesSeen = 0;
  CancelRequested = false;
  fuzzing::Sink sink;
  if (options & 0x40) sink.capacity = 40000;
  OutputFile file{WriteAndMaybeCancel, &sink};
  OutputHandle = &file;
  RunningCrc = 0xFFFFFFFF;
  BytesDone = 0;
  BytesTotal = entrySize;

  if (!DecompressEntry()) std::abort();
  fuzzing::CheckOutput(sink, size_t(available), LocalHeader.Method == 8);
  // A cancel stops the decoder at the flush that saw it; the stored copy runs to its end.
  if (LocalHeader.Method == 8 && cancelAt && int(sink.writes.size()) > cancelAt) std::abort();
  if (!(options & 0x20) && LocalHeader.Method == 8 && !cancelAt && CancelRequested) std::abort();

  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  OutputHandle = nullptr;
  return 0;
}
