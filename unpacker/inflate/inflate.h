// Decoding one entry into OutputHandle: method dispatch, and the deflate decoder (RFC 1951).
#pragma once

#include <cstdint>

// Decodes the current entry (LocalHeader) into OutputHandle. Requires: RunningCrc = 0xFFFFFFFF;
// EntryRemaining = the entry's data bytes (without its encryption header and trailer);
// ArchiveHandle at the first data byte; for an encrypted entry, the decryption begun
// (BeginEntryDecryption) with the keys a fitting password left.
// False only for a method other than 0 and 8 (reported with "알수 없는 압축 형식입니다.").
// True also when decoding stopped early (cancel, short archive, corrupt data): the caller
// judges the entry by its CRC-32.
bool DecompressEntry();

// Decodes a deflate stream of the current entry (method 8).
void InflateEntry();

// Frees the buffers that InflateEntry keeps for the next entry; each pass ends with it.
void ReleaseDecoderMemory();

// How the last InflateEntry ended. Callers never look at it (the CRC-32 is the one judge of an
// entry); tests do, to tell which check fired. All but the first two end the entry without
// writing the window the decoder was filling.
enum class InflateOutcome : uint8_t {
  Complete,                 // the final block's end code was reached
  Cancelled,                // stopped at CancelRequested (set by the user or a short archive)
  OutOfMemory,              // a buffer or table could not be obtained
  InvalidBlockType,         // block type 3
  StoredLengthMismatch,     // NLEN is not the complement of LEN
  BadCodeLengthCode,        // incomplete, over-subscribed or empty code-length code
  CodeLengthRepeatOverrun,  // a run of code lengths passes nl + nd
  BadLiteralLengthCode,     // incomplete, over-subscribed or empty literal/length code
  BadDistanceCode,          // over-subscribed distance code
  InvalidCode,              // a code with no symbol: 286/287, 30/31, filler of an incomplete code
  LengthWithoutDistances,   // a length symbol in a block whose distance code is empty
  DistanceTooFar,           // a match reaching before the entry's first output byte
  InputExhausted,           // a code ran past the end of the data (the entry's, or a short
                            // archive's) before the final end-of-block code
};
extern InflateOutcome LastInflateOutcome;
