// Decoding one entry of the walk into a file: the one call that primes the decoders (archive
// position, EntryRemaining, RunningCrc, OutputHandle) and judges the result.
#pragma once

#include "unpacker/container/entry_walk.h"

struct OutputFile;

enum class DecodeResult {
  Good,           // every byte written, and their CRC-32 is the header's
  Damaged,        // the CRC-32 differs, or the entry is too short for its encryption header
  UnknownMethod,  // neither stored nor deflated; the decoder has said so
};

// Decodes `entry` (LocalHeader holds its header) into `output`, from its first data byte, or
// behind the 12-byte encryption header of an encrypted entry: the caller has read and checked
// that header, which set the decryption keys. Progress counts on in BytesDone.
DecodeResult DecodeEntry(const WalkedEntry& entry, OutputFile* output);
