#include "unpacker/inflate/output_window.h"

#include <cstdlib>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/huffman_table.h"
#include "unpacker/inflate/output_file.h"
#include "unpacker/crypto/entry_cipher.h"

namespace {

// Writes n bytes; progress and the CRC-32 cover the bytes that reached the file, in that order
// (the message step of the progress may already see the new count).
void WritePiece(const uint8_t* data, uint32_t n) {
  uint32_t written = WriteOutputFile(OutputHandle, data, n);
  if (written > n) written = n;
  ReportProgress(written);
  UpdateCrcBuffer(data, int32_t(written), &RunningCrc);
}

}  // namespace

void FlushWindow(const uint8_t* data, uint32_t n) {
  WritePiece(data, n);
}

void CopyStoredEntry() {
  if (EntryRemaining <= 0) return;
  const uint32_t size = EntryRemaining < kPieceSize ? uint32_t(EntryRemaining) : kPieceSize;
  uint8_t* buffer = static_cast<uint8_t*>(DecoderMemory(size));
  if (!buffer) return;
  // A stored entry is copied to its end whatever CancelRequested says; the extraction loop
  // looks at the flag after the entry.
  while (EntryRemaining > 0) {
    const uint32_t want = EntryRemaining < kPieceSize ? uint32_t(EntryRemaining) : kPieceSize;
    uint32_t got = 0;
    ReadArchive(buffer, want, &got);
    if (got < want) break;  // a short piece is neither decrypted, written nor counted
    EntryRemaining -= got;
    DecryptEntryData(buffer, got);
    WritePiece(buffer, got);
  }
  std::free(buffer);
}

void ReportProgress(uint32_t n) {
  BytesDone += n;
  ProgressPercent = PercentOf(BytesDone, BytesTotal);
  PumpOneMessage();
}

int32_t PercentOf(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  if (done >= total) return 100;
  // 100 * done = q * total + r, exactly, without a 128-bit product: q and r are built by
  // doubling and adding along the bits of 100, keeping r < total (and never overflowing, as
  // total - r is compared instead of 2 * r).
  uint32_t q = 0;
  uint64_t r = 0;
  for (int bit = 6; bit >= 0; --bit) {
    q *= 2;
    if (r >= total - r) {
      r -= total - r;
      ++q;
    } else {
      r *= 2;
    }
    if ((100 >> bit) & 1) {
      if (r >= total - done) {
        r -= total - done;
        ++q;
      } else {
        r += done;
      }
    }
  }
  // Round half to even.
  const uint64_t toNext = total - r;
  if (r > toNext || (r == toNext && (q & 1))) ++q;
  return int32_t(q > 100 ? 100 : q);
}
