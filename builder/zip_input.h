// An existing ZIP archive given as mksfx's input: appended as it stands when the stub can walk
// it, rewritten into a layout it can walk (without recompressing) when not, or refused with the
// entry's name and the reason.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/zip_writer.h"

namespace mksfx {

struct ZipInput {
  std::vector<uint8_t> bytes;  // the whole archive
  bool walkableAsItStands = false;
  std::string whyRewritten;       // when not walkable: the first reason found
  std::vector<RawEntry> entries;  // for a rewrite, in archive order; copyData reads `bytes`
  // Where `bytes` holds 32-bit offsets counted from its start (each central record's local
  // header offset, the end record's directory offset): shifted when the archive is appended.
  std::vector<size_t> offsetFields;
};

// Adds `by` to every offset of an archive appended as it stands, so that they count from the
// start of the program it is appended to, as `zip -A` does: tools then read the program as a
// plain ZIP file. When an offset would not fit 32 bits, `bytes` stay as they are: the stub
// reads offsets counted from the ZIP data too.
void ShiftOffsets(ZipInput* input, uint64_t by);

// Reads and checks the archive. `encrypting`: a password will be applied, which means a
// rewrite. Names flagged as UTF-8 are converted to `codePage` where it can hold them, and stay
// UTF-8 (still flagged) where it cannot.
bool ReadZipInput(const std::string& path, unsigned codePage, bool encrypting, ZipInput* input,
                  std::string* error);

// The same for an archive already in input->bytes; `path` names it in messages.
bool CheckZipInput(const std::string& path, unsigned codePage, bool encrypting, ZipInput* input,
                   std::string* error);

bool LooksLikeZipPath(const std::string& path);

}  // namespace mksfx
