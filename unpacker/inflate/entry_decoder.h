// Decoding one entry of the walk into a file: the one call that primes the decoders (archive
// position, EntryRemaining, RunningCrc, OutputHandle) and judges the result.
#pragma once

#include "unpacker/container/entry_walk.h"

struct OutputFile;

enum class DecodeResult {
  Good,           // every byte written, and their CRC-32 is the header's
  Damaged,        // the CRC-32 or the authentication code differs, or the entry is too short
                  // for its encryption header and trailer
  UnknownMethod,  // neither stored nor deflated; the decoder has said so
};

// Decodes `entry` (LocalHeader holds its header) into `output`, from its first data byte, or
// behind the encryption header of an encrypted entry: the caller has tried the password on
// that header (TryPasswords), which readied the keys. An AES entry's authentication code is
// checked behind the data; the keys are wiped at the end. Progress counts on in BytesDone.
DecodeResult DecodeEntry(const WalkedEntry& entry, OutputFile* output);
