#include "unpacker/inflate/crc32.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "unpacker/crypto/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__i386__) || defined(__x86_64__)
// Folding with carry-less multiplication (Intel, "Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ"). A 16-byte block V, its low half L (the earlier bits) and high half H, at
// D bits before a later block: V * x^D == L * x^(D+64) + H * x^D, and each product is reduced
// with a constant K = x^(e) mod P of 32 bits, e = D+64-1 or D-1 (the -1: a carry-less product
// of two bit-reflected 64-bit values stands one degree lower). The constants are the
// reflected residues, placed in the high half of a 64-bit word; they hold for the ZIP
// polynomial only. Four accumulators fold by 512 bits, one by 128.
constexpr uint64_t kFold512Low = 0x653D982200000000, kFold512High = 0xCAD38E8F00000000;
constexpr uint64_t kFold128Low = 0x65673B4600000000, kFold128High = 0x9BA54C6F00000000;

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i v, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(v, constants, 0x00),
                       _mm_clmulepi64_si128(v, constants, 0x11));
}

// Folds n (>= 64) bytes, a multiple of 16, into one 16-byte remainder with the same CRC, and
// returns the register after it: the register enters the first four bytes, so the remainder's
// CRC starts from 0.
__attribute__((target("pclmul,sse2"))) uint32_t FoldedCrc(const uint8_t* data, size_t n,
                                                          uint32_t crc) {
  const __m128i* p = reinterpret_cast<const __m128i*>(data);
  const __m128i by512 = _mm_set_epi64x(int64_t(kFold512High), int64_t(kFold512Low));
  const __m128i by128 = _mm_set_epi64x(int64_t(kFold128High), int64_t(kFold128Low));
  __m128i a = _mm_xor_si128(_mm_loadu_si128(p), _mm_cvtsi32_si128(int(crc)));
  __m128i b = _mm_loadu_si128(p + 1), c = _mm_loadu_si128(p + 2), d = _mm_loadu_si128(p + 3);
  p += 4;
  for (n -= 64; n >= 64; n -= 64, p += 4) {
    a = _mm_xor_si128(Fold(a, by512), _mm_loadu_si128(p));
    b = _mm_xor_si128(Fold(b, by512), _mm_loadu_si128(p + 1));
    c = _mm_xor_si128(Fold(c, by512), _mm_loadu_si128(p + 2));
    d = _mm_xor_si128(Fold(d, by512), _mm_loadu_si128(p + 3));
  }
  a = _mm_xor_si128(Fold(a, by128), b);
  a = _mm_xor_si128(Fold(a, by128), c);
  a = _mm_xor_si128(Fold(a, by128), d);
  for (; n >= 16; n -= 16, ++p) a = _mm_xor_si128(Fold(a, by128), _mm_loadu_si128(p));
  uint8_t remainder[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(remainder), a);
  uint32_t r = 0;
  for (uint8_t byte : remainder) r = CrcTable[(r ^ byte) & 0xFF] ^ (r >> 8);
  return r;
}
#endif

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
#if defined(__i386__) || defined(__x86_64__)
  if (left >= 64 && CpuHasCarrylessMultiply()) {
    const size_t folded = left & ~size_t(15);
    crc = FoldedCrc(data, folded, crc);
    data += folded;
    left -= folded;
  }
#endif
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
