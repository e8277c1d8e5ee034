// mksfx's reader of ZIP inputs (end records, Zip64 records, central and local headers) on
// arbitrary bytes: it must refuse or accept without reading outside the archive, and what it
// accepts must be copyable entry by entry and shiftable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "builder/zip_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mksfx::ZipInput input;
  input.bytes.assign(data, data + size);
  std::string error;
  if (!mksfx::CheckZipInput("fuzz.zip", 949, size % 2 == 1, &input, &error)) return 0;
  uint64_t copied = 0;
  for (const mksfx::RawEntry& entry : input.entries)
    entry.copyData([&](const uint8_t* piece, size_t n) {
      for (size_t i = 0; i < n; i += 4096) copied += piece[i];
      return true;
    });
  mksfx::ShiftOffsets(&input, 0x1100 + copied % 2);
  return 0;
}
