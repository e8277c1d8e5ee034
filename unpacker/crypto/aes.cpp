#include "unpacker/crypto/aes.h"

#include <cstring>

#include "unpacker/crypto/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The S-box and the round table are computed on first use rather than stored: 1.25 KB of
// constants would cost the stub as much in file size, while the zero-filled globals cost
// nothing. RoundTable[x] is the MixColumns column of S(x) for the first row, (2s, s, s, 3s) in
// little-endian order; the other rows are the same column rotated by 8, 16 and 24 bits.
uint8_t Sbox[256];
uint32_t RoundTable[256];
bool TablesBuilt;

uint8_t Times2(uint8_t x) {
  return uint8_t(x << 1) ^ (x & 0x80 ? 0x1B : 0);
}
uint8_t Rotl8(uint8_t x, int n) {
  return uint8_t(x << n | x >> (8 - n));
}
uint32_t Rotl(uint32_t x, int n) {
  return x << n | x >> (32 - n);
}

void BuildTables() {
  if (TablesBuilt) return;
  // p runs through every non-zero element as powers of 3, q through their inverses as powers
  // of 1/3; the S-box is the affine map of the inverse.
  uint8_t p = 1, q = 1;
  do {
    p ^= Times2(p);
    q ^= uint8_t(q << 1);
    q ^= uint8_t(q << 2);
    q ^= uint8_t(q << 4);
    if (q & 0x80) q ^= 0x09;
    Sbox[p] = q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4) ^ 0x63;
  } while (p != 1);
  Sbox[0] = 0x63;
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = Sbox[x], s2 = Times2(s);
    RoundTable[x] = s2 | uint32_t(s) << 8 | uint32_t(s) << 16 | uint32_t(s2 ^ s) << 24;
  }
  TablesBuilt = true;
}

uint32_t LoadLe32(const uint8_t* p) {
  return p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLe32(uint8_t* p, uint32_t x) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(x >> 8 * i);
}

// One column of a middle round before its round key: SubBytes, ShiftRows and MixColumns of
// row 0 of column a, row 1 of b, row 2 of c and row 3 of d.
uint32_t MixedColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return RoundTable[a & 0xFF] ^ Rotl(RoundTable[b >> 8 & 0xFF], 8) ^
         Rotl(RoundTable[c >> 16 & 0xFF], 16) ^ Rotl(RoundTable[d >> 24], 24);
}

uint32_t SubstitutedColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return Sbox[a & 0xFF] | uint32_t(Sbox[b >> 8 & 0xFF]) << 8 |
         uint32_t(Sbox[c >> 16 & 0xFF]) << 16 | uint32_t(Sbox[d >> 24]) << 24;
}

// Each column is a little-endian word, row 0 in the low byte; ShiftRows takes row r of column
// c from column c + r.
void SoftwareEncryptBlock(const AesKey* key, const uint8_t in[kAesBlockSize],
                          uint8_t out[kAesBlockSize]) {
  const uint8_t* k = key->RoundKeys;
  uint32_t s0 = LoadLe32(in) ^ LoadLe32(k), s1 = LoadLe32(in + 4) ^ LoadLe32(k + 4),
           s2 = LoadLe32(in + 8) ^ LoadLe32(k + 8), s3 = LoadLe32(in + 12) ^ LoadLe32(k + 12);
  for (uint32_t round = 1; round < key->Rounds; ++round) {
    k += kAesBlockSize;
    const uint32_t t0 = MixedColumn(s0, s1, s2, s3) ^ LoadLe32(k),
                   t1 = MixedColumn(s1, s2, s3, s0) ^ LoadLe32(k + 4),
                   t2 = MixedColumn(s2, s3, s0, s1) ^ LoadLe32(k + 8),
                   t3 = MixedColumn(s3, s0, s1, s2) ^ LoadLe32(k + 12);
    s0 = t0, s1 = t1, s2 = t2, s3 = t3;
  }
  k += kAesBlockSize;
  StoreLe32(out, SubstitutedColumn(s0, s1, s2, s3) ^ LoadLe32(k));
  StoreLe32(out + 4, SubstitutedColumn(s1, s2, s3, s0) ^ LoadLe32(k + 4));
  StoreLe32(out + 8, SubstitutedColumn(s2, s3, s0, s1) ^ LoadLe32(k + 8));
  StoreLe32(out + 12, SubstitutedColumn(s3, s0, s1, s2) ^ LoadLe32(k + 12));
}

// The WinZip counter: 16 bytes, little-endian, the carry running through all of them.
void IncrementCounter(uint8_t counter[kAesBlockSize]) {
  for (uint32_t i = 0; i < kAesBlockSize && ++counter[i] == 0; ++i) {
  }
}

void SoftwareCtrBlocks(AesCtr* ctr, uint8_t* data, size_t count) {
  uint8_t keystream[kAesBlockSize];
  for (; count; --count, data += kAesBlockSize) {
    SoftwareEncryptBlock(&ctr->Key, ctr->Counter, keystream);
    IncrementCounter(ctr->Counter);
    for (uint32_t i = 0; i < kAesBlockSize; ++i) data[i] ^= keystream[i];
  }
}

#if defined(__i386__) || defined(__x86_64__)
#define AES_TARGET __attribute__((target("aes,sse2")))

AES_TARGET __m128i InstructionEncrypt(const AesKey* key, __m128i block) {
  const __m128i* roundKeys = reinterpret_cast<const __m128i*>(key->RoundKeys);
  block = _mm_xor_si128(block, _mm_loadu_si128(roundKeys));
  for (uint32_t round = 1; round < key->Rounds; ++round)
    block = _mm_aesenc_si128(block, _mm_loadu_si128(roundKeys + round));
  return _mm_aesenclast_si128(block, _mm_loadu_si128(roundKeys + key->Rounds));
}

AES_TARGET void InstructionEncryptBlock(const AesKey* key, const uint8_t in[kAesBlockSize],
                                        uint8_t out[kAesBlockSize]) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), InstructionEncrypt(key, block));
}

// Width blocks side by side, so that the processor overlaps their rounds; the counter as two
// 64-bit halves (x86 is little-endian, so they are the counter's bytes as they stand).
template <int Width>
AES_TARGET inline void InstructionCtrGroup(const AesKey* key, uint64_t counter[2], uint8_t* data) {
  const __m128i* roundKeys = reinterpret_cast<const __m128i*>(key->RoundKeys);
  __m128i* blocks = reinterpret_cast<__m128i*>(data);
  __m128i b[Width];
  const __m128i first = _mm_loadu_si128(roundKeys);
#pragma GCC unroll 8
  for (int i = 0; i < Width; ++i) {
    b[i] = _mm_xor_si128(_mm_set_epi64x(int64_t(counter[1]), int64_t(counter[0])), first);
    if (++counter[0] == 0) ++counter[1];
  }
  for (uint32_t round = 1; round < key->Rounds; ++round) {
    const __m128i k = _mm_loadu_si128(roundKeys + round);
#pragma GCC unroll 8
    for (int i = 0; i < Width; ++i) b[i] = _mm_aesenc_si128(b[i], k);
  }
  const __m128i last = _mm_loadu_si128(roundKeys + key->Rounds);
#pragma GCC unroll 8
  for (int i = 0; i < Width; ++i)
    _mm_storeu_si128(blocks + i,
                     _mm_xor_si128(_mm_loadu_si128(blocks + i), _mm_aesenclast_si128(b[i], last)));
}

AES_TARGET void InstructionCtrBlocks(AesCtr* ctr, uint8_t* data, size_t count) {
  // Eight blocks in flight where there are 16 vector registers, four where there are 8.
  constexpr int kWidth = sizeof(void*) == 8 ? 8 : 4;
  uint64_t counter[2];
  memcpy(counter, ctr->Counter, sizeof counter);
  for (; count >= kWidth; count -= kWidth, data += kWidth * kAesBlockSize)
    InstructionCtrGroup<kWidth>(&ctr->Key, counter, data);
  for (; count; --count, data += kAesBlockSize) InstructionCtrGroup<1>(&ctr->Key, counter, data);
  memcpy(ctr->Counter, counter, sizeof counter);
}
#endif

}  // namespace

// Once per entry: compiled for size even where the rounds are compiled for speed.
__attribute__((cold)) bool AesSetKey(AesKey* key, const uint8_t* keyBytes, uint32_t keyLength) {
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) return false;
  BuildTables();
  key->Rounds = keyLength / 4 + 6;
  uint8_t* words = key->RoundKeys;
  memcpy(words, keyBytes, keyLength);
  uint8_t roundConstant = 1;
  for (uint32_t i = keyLength; i < (key->Rounds + 1) * kAesBlockSize; i += 4) {
    uint8_t t[4] = {words[i - 4], words[i - 3], words[i - 2], words[i - 1]};
    if (i % keyLength == 0) {
      const uint8_t first = t[0];
      t[0] = Sbox[t[1]] ^ roundConstant;
      t[1] = Sbox[t[2]];
      t[2] = Sbox[t[3]];
      t[3] = Sbox[first];
      roundConstant = Times2(roundConstant);
    } else if (keyLength == 32 && i % keyLength == 16) {
      for (uint8_t& b : t) b = Sbox[b];
    }
    for (int j = 0; j < 4; ++j) words[i + j] = words[i + j - keyLength] ^ t[j];
  }
  return true;
}

void AesEncryptBlock(const AesKey* key, const uint8_t in[kAesBlockSize],
                     uint8_t out[kAesBlockSize]) {
#if defined(__i386__) || defined(__x86_64__)
  if (CpuHasAesInstructions()) return InstructionEncryptBlock(key, in, out);
#endif
  SoftwareEncryptBlock(key, in, out);
}

bool AesCtrBegin(AesCtr* ctr, const uint8_t* keyBytes, uint32_t keyLength) {
  if (!AesSetKey(&ctr->Key, keyBytes, keyLength)) return false;
  memset(ctr->Counter, 0, kAesBlockSize);
  ctr->Counter[0] = 1;
  ctr->KeystreamUsed = kAesBlockSize;
  return true;
}

void AesCtrApply(AesCtr* ctr, uint8_t* data, size_t n) {
  for (; n && ctr->KeystreamUsed < kAesBlockSize; --n)
    *data++ ^= ctr->Keystream[ctr->KeystreamUsed++];
  if (const size_t whole = n / kAesBlockSize) {
#if defined(__i386__) || defined(__x86_64__)
    if (CpuHasAesInstructions())
      InstructionCtrBlocks(ctr, data, whole);
    else
#endif
      SoftwareCtrBlocks(ctr, data, whole);
    data += whole * kAesBlockSize;
    n -= whole * kAesBlockSize;
  }
  if (n) {
    AesEncryptBlock(&ctr->Key, ctr->Counter, ctr->Keystream);
    IncrementCounter(ctr->Counter);
    for (size_t i = 0; i < n; ++i) data[i] ^= ctr->Keystream[i];
    ctr->KeystreamUsed = uint32_t(n);
  }
}
