// One walk over the entries of the appended ZIP data, front to back: every pass of the stub
// and mksfx's --list and --test read the archive through it, so they all see the same entries.
//
//   BeginEntryWalk();
//   WalkedEntry entry;
//   while (NextEntry(&entry) == EntryFound::Yes) { ...; SkipEntry(entry); }
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"
#include "unpacker/container/zip_records.h"

struct WalkedEntry {
  uint32_t Index = 0;     // 0 for the first entry
  ByteString Name;        // the name's bytes as stored, read in full
  ByteString Extra;       // the local header's extra field, as far as the file holds it
  int64_t DataStart = 0;  // behind name and extra field: the encryption header, if any
  int64_t DataEnd = 0;    // behind the entry's data; a data descriptor may follow
  // A WinZip AES entry (method 99 with the extra field 0x9901): its key strength (1, 2, 3 for
  // AES-128, -192, -256) and format (1: AE-1, 2: AE-2, whose CRC-32 field is 0 and unused).
  // LocalHeader.Method then holds the real method from the extra field. 0 for other entries.
  uint8_t AesStrength = 0;
  uint8_t AesVersion = 0;
};

// Starts a walk at the first byte of the ZIP data (ExtractorOptions.ArchiveOffset).
void BeginEntryWalk();

// Reads the next local header into LocalHeader and the entry's name, takes the sizes from the
// Zip64 extra field where the header defers to it, and completes a streamed entry's CRC-32
// and sizes from the central directory. Reads the AES extra field of an encrypted method-99
// entry. Leaves the archive at DataStart. Damaged: the Zip64 field is missing or gives a
// compressed size beyond the ZIP data, or the central directory is damaged.
EntryFound NextEntry(WalkedEntry* entry);

// Moves behind the entry's data and its data descriptor, where the next header lies; also
// when decoding stopped short inside the data.
void SkipEntry(const WalkedEntry& entry);
