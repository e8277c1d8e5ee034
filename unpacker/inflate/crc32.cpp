#include "unpacker/inflate/crc32.h"

#include <bit>
#include <cstdlib>
#include <cstring>

uint32_t CrcTable[256];

namespace {

// Slicing by 16: CrcSlices[k - 1][n] is the register after byte n followed by k zero bytes, so
// 16 bytes fold into the register with 16 independent lookups instead of a chain of 16.
// The result is the same as UpdateCrcByte over every byte (tests hold the two against each
// other). The 15 KiB of tables are obtained once, by the first BuildCrcTable, and kept for
// the run: as zero-filled static data they would take room in the stub's file. Without them
// the buffer update goes byte by byte.
constexpr int kSliceBytes = 16;
using SliceTables = uint32_t[kSliceBytes - 1][256];
SliceTables* CrcSlices = nullptr;

inline uint32_t LoadLittleEndian32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
  }
  return v;
}

}  // namespace

void BuildCrcTable() {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    CrcTable[n] = c;
  }
  if (!CrcSlices) CrcSlices = static_cast<SliceTables*>(std::malloc(sizeof(SliceTables)));
  if (!CrcSlices) return;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = CrcTable[n];
    for (int k = 0; k < kSliceBytes - 1; ++k) {
      c = CrcTable[c & 0xFF] ^ (c >> 8);
      (*CrcSlices)[k][n] = c;
    }
  }
}

uint32_t UpdateCrcByte(uint8_t b, uint32_t r) {
  return CrcTable[(r ^ b) & 0xFF] ^ (r >> 8);
}

void UpdateCrcBuffer(const uint8_t* data, int32_t n, uint32_t* r) {
  if (n <= 0) return;
  uint32_t crc = *r;
  size_t left = size_t(n);
  for (const SliceTables* slices = CrcSlices; slices && left >= kSliceBytes;) {
    const SliceTables& t = *slices;
    // The register enters with the first four bytes; each byte then looks up the effect of
    // itself followed by the bytes behind it in this group. The twelve lookups that do not
    // depend on the register come first, so they overlap with the previous group's.
    const uint32_t b = LoadLittleEndian32(data + 4);
    const uint32_t c = LoadLittleEndian32(data + 8);
    const uint32_t d = LoadLittleEndian32(data + 12);
    const uint32_t rest =
        (t[10][b & 0xFF] ^ t[9][(b >> 8) & 0xFF]) ^ (t[8][(b >> 16) & 0xFF] ^ t[7][b >> 24]) ^
        ((t[6][c & 0xFF] ^ t[5][(c >> 8) & 0xFF]) ^ (t[4][(c >> 16) & 0xFF] ^ t[3][c >> 24])) ^
        ((t[2][d & 0xFF] ^ t[1][(d >> 8) & 0xFF]) ^ (t[0][(d >> 16) & 0xFF] ^ CrcTable[d >> 24]));
    const uint32_t a = LoadLittleEndian32(data) ^ crc;
    crc = (t[14][a & 0xFF] ^ t[13][(a >> 8) & 0xFF]) ^ (t[12][(a >> 16) & 0xFF] ^ t[11][a >> 24]) ^
          rest;
    data += kSliceBytes;
    left -= kSliceBytes;
  }
  while (left-- > 0) crc = CrcTable[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  *r = crc;
}
