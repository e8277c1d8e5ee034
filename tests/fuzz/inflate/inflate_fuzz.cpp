// Fuzzes the decoder with whole entries as the extraction loop hands them over: stored or
// deflated, encrypted or not, in an archive that may end early, cancelled at some message step,
// written to a disk that may fill up. On plain deflated entries (option byte 1) the decoder must
// also agree with zlib on every stream zlib decodes to its end (it accepts some that zlib
// refuses, as deflate allows: incomplete distance codes, 288 and 32 code lengths, a leading
// repeat code).
//
// Input: byte 0 chooses (bit 0: deflated; bit 1: encrypted; bit 2: check byte from the
// time; bits 3-4: cancel at message step 1-3 or never; bit 5: the archive ends 1000 bytes
// early; bit 6: the disk holds 40000 bytes; bit 7 with bit 1: WinZip AES, AE-2 with bit 2,
// else AE-1), byte 1 the password's length (0..15), then the password and the entry's data
// (after the 12-byte encryption header when encrypted). An AES entry's data is salt, verifier,
// encrypted data and authentication code; its password is always "secret", and its data is
// decoded whether the verifier fits or not, so that the fuzzer reaches the decryption; its
// key strength is byte 1 modulo 3.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tests/fuzz/fuzz_ui.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/native/native_archive_file.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/entry_decoder.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/crypto/zip_crypto.h"

namespace {

std::vector<uint8_t> written;
std::vector<uint32_t> writes;
size_t capacity;
int cancelAt;

uint32_t Write(void*, const void* data, uint32_t count) {
  writes.push_back(count);
  // The write comes right before the message step that would carry a Close click.
  if (int(writes.size()) == cancelAt) CancelRequested = true;
  const uint32_t taken =
      uint32_t(std::min<size_t>(count, capacity - std::min(capacity, written.size())));
  written.insert(written.end(), static_cast<const uint8_t*>(data),
                 static_cast<const uint8_t*>(data) + taken);
  return taken;
}

// An AES entry through DecodeEntry, as the extraction hands it over; an archive that ends
// early never gives a good entry.
int FuzzAesEntry(uint8_t options, uint8_t strength, const uint8_t* entry, size_t entrySize) {
  WalkedEntry walked;
  walked.AesStrength = uint8_t(1 + strength % 3);
  walked.AesVersion = (options & 4) ? 2 : 1;
  walked.DataEnd = int64_t(entrySize) + ((options & 0x20) ? 1000 : 0);
  LocalHeader.Flags = 1;
  LocalHeader.CompressedSize = uint32_t(walked.DataEnd);
  ArchiveHandle = OpenArchiveMemory(entry, entrySize);
  cancelAt = (options >> 3) & 3;
  capacity = (options & 0x40) ? 40000 : SIZE_MAX;
  written.clear();
  writes.clear();
  CancelRequested = false;
  BytesDone = 0;
  BytesTotal = entrySize;
  OutputFile file{Write, nullptr};
  EncryptionHeader header;
  if (ReadEncryptionHeader(walked, &header)) {
    const ByteString password("secret");
    TryPasswords(walked, header, &password, 1);
    const DecodeResult result = DecodeEntry(walked, &file);
    Check(result != DecodeResult::Good || !(options & 0x20));
    uint32_t crc = 0xFFFFFFFF;
    UpdateCrcBuffer(written.data(), int32_t(written.size()), &crc);
    Check(crc == RunningCrc && BytesDone == written.size());
  }
  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BuildCrcTable();
  if (size < 2 || size < 2 + data[1] % 16u) return 0;
  const uint8_t options = data[0];
  const uint32_t passwordLength = data[1] % 16;
  const uint8_t* entry = data + 2 + passwordLength;
  const size_t entrySize = size - 2 - passwordLength;

  LocalHeader = LocalHeaderRecord{};
  LocalHeader.Method = (options & 1) ? 8 : 0;
  LocalHeader.Flags = uint16_t(((options & 2) ? 1 : 0) | ((options & 4) ? 8 : 0));
  LocalHeader.DosDateTime = 0x5A8B6C21;
  LocalHeader.Crc32 = 0x6C000000;
  if ((options & 0x82) == 0x82) return FuzzAesEntry(options, data[1], entry, entrySize);
  ArchiveHandle = OpenArchiveMemory(entry, entrySize);
  EntryRemaining = int64_t(entrySize);
  if (LocalHeader.Flags & 1) {
    uint8_t block[24] = {};
    uint32_t got = 0;
    ReadArchive(block + 12, 12, &got);
    EntryRemaining -= got;
    // Decoded either way: a wrong password that passes by chance decrypts to noise.
    CheckEncryptionHeader(block, 12, LocalHeader.Flags,
                          ByteString(reinterpret_cast<const char*>(data + 2), passwordLength),
                          LocalHeader.DosDateTime, LocalHeader.Crc32);
  }
  BeginEntryDecryption(WalkedEntry{});
  const int64_t available = EntryRemaining;
  if (options & 0x20) EntryRemaining += 1000;
  cancelAt = (options >> 3) & 3;
  capacity = (options & 0x40) ? 40000 : SIZE_MAX;
  written.clear();
  writes.clear();
  CancelRequested = false;
  OutputFile file{Write, nullptr};
  OutputHandle = &file;
  RunningCrc = 0xFFFFFFFF;
  BytesDone = 0;
  BytesTotal = entrySize;

  Check(DecompressEntry());
  // RunningCrc and BytesDone cover exactly the bytes that reached the file; every write but the
  // last hands over a whole window (or piece); nothing comes out that the data could not make
  // (a match of 258 bytes takes at least 2 bits: 1032 bytes per input byte).
  const bool deflated = LocalHeader.Method == 8;
  uint32_t crc = 0xFFFFFFFF;
  UpdateCrcBuffer(written.data(), int32_t(written.size()), &crc);
  Check(crc == RunningCrc && BytesDone == written.size());
  for (size_t i = 0; i + 1 < writes.size(); ++i) Check(writes[i] == 32768);
  Check(writes.empty() || (writes.back() > 0 && writes.back() <= 32768));
  Check(written.size() <= (deflated ? 1032 : 1) * size_t(available));
  Check(ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent) <= int64_t(entrySize));
  // A cancel stops the decoder at the flush that saw it (the stored copy runs to its end);
  // without a cancel or a short archive nothing sets CancelRequested.
  if (deflated && cancelAt) Check(int(writes.size()) <= cancelAt);
  if (deflated && !cancelAt && !(options & 0x20)) Check(!CancelRequested);
  std::optional<std::vector<uint8_t>> expected;
  if (options == 1 && (expected = testing_support::RawInflate(entry, entrySize)))
    Check(LastInflateOutcome == InflateOutcome::Complete && written == *expected);

  CloseArchiveFile(ArchiveHandle);
  ArchiveHandle = nullptr;
  OutputHandle = nullptr;
  return 0;
}
