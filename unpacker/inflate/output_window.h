// The output side of decoding: every byte of an entry leaves the decoders through
// FlushWindow or CopyStoredEntry, which write it, advance the progress and let one window
// message through (which is how the Close button reaches a running decode), then add the bytes
// that reached the file to RunningCrc.
#pragma once

#include <cstdint>

constexpr uint32_t kPieceSize = 32768;  // window, input pieces and stored-copy pieces

// Writes n (1..32768) bytes of decoded data to OutputHandle; progress and RunningCrc advance by
// the bytes the write reports, so a full disk makes the entry fail its CRC check.
void FlushWindow(const uint8_t* data, uint32_t n);

// Copies the current stored entry (method 0) to OutputHandle, decrypting when it is encrypted.
void CopyStoredEntry();

// BytesDone += n; ProgressPercent = PercentOf(BytesDone, BytesTotal); PumpOneMessage().
void ReportProgress(uint32_t n);

// done * 100 / total rounded to the nearest integer, halves to even, at most 100; 0 when total
// is 0. Exact for all 64-bit inputs.
int32_t PercentOf(uint64_t done, uint64_t total);
