#include "unpacker/crypto/sha1.h"

#include <cstring>

#include "unpacker/crypto/cpu_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Runs the compression function over `count` consecutive 64-byte blocks.
using BlockFunction = void (*)(uint32_t state[5], const uint8_t* blocks, size_t count);

uint32_t Rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void StoreBe32(uint8_t* p, uint32_t x) {
  p[0] = uint8_t(x >> 24);
  p[1] = uint8_t(x >> 16);
  p[2] = uint8_t(x >> 8);
  p[3] = uint8_t(x);
}

// The 80 steps in four runs of 20, one per round function, so that no step chooses its
// function at run time; the 16-word ring holds the message schedule.
template <int Run>
inline void Steps(uint32_t v[5], uint32_t w[16], int first) {
  constexpr uint32_t kConstants[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
  uint32_t a = v[0], b = v[1], c = v[2], d = v[3], e = v[4];
  for (int t = first; t < first + 20; ++t) {
    if (t >= 16)
      w[t & 15] = Rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
    uint32_t f;
    if constexpr (Run == 0) f = d ^ (b & (c ^ d));
    if constexpr (Run == 1 || Run == 3) f = b ^ c ^ d;
    if constexpr (Run == 2) f = (b & c) | (d & (b | c));
    const uint32_t next = Rotl(a, 5) + f + e + kConstants[Run] + w[t & 15];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = next;
  }
  v[0] = a, v[1] = b, v[2] = c, v[3] = d, v[4] = e;
}

void ScalarBlocks(uint32_t state[5], const uint8_t* p, size_t count) {
  for (; count; --count, p += kSha1BlockSize) {
    uint32_t w[16], v[5];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
    memcpy(v, state, sizeof v);
    Steps<0>(v, w, 0);
    Steps<1>(v, w, 20);
    Steps<2>(v, w, 40);
    Steps<3>(v, w, 60);
    for (int i = 0; i < 5; ++i) state[i] += v[i];
  }
}

#if defined(__i386__) || defined(__x86_64__)
#define SHA_TARGET __attribute__((target("sha,sse4.1")))

// Four steps: Group 0 adds E to the first message words; later groups take E from the A of
// four steps before (SHA1NEXTE). `w` is the ring of the last four groups of message words;
// group I >= 4 makes its words from the four before it.
template <int I>
SHA_TARGET inline void Groups(__m128i& abcd, __m128i& e, __m128i w[4]) {
  if constexpr (I < 20) {
    __m128i& words = w[I % 4];
    if constexpr (I >= 4)
      words = _mm_sha1msg2_epu32(
          _mm_xor_si128(_mm_sha1msg1_epu32(words, w[(I + 1) % 4]), w[(I + 2) % 4]), w[(I + 3) % 4]);
    const __m128i before = abcd;
    const __m128i x = I == 0 ? _mm_add_epi32(e, words) : _mm_sha1nexte_epu32(e, words);
    abcd = _mm_sha1rnds4_epu32(abcd, x, I / 5);
    e = before;
    Groups<I + 1>(abcd, e, w);
  }
}

// A in the highest lane, as SHA1RNDS4 wants it; E alone in the highest lane.
SHA_TARGET void ShaInstructionBlocks(uint32_t state[5], const uint8_t* p, size_t count) {
  const __m128i reverseBytes = _mm_set_epi64x(0x0001020304050607, 0x08090A0B0C0D0E0F);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e = _mm_set_epi32(int(state[4]), 0, 0, 0);
  for (; count; --count, p += kSha1BlockSize) {
    __m128i w[4];
    for (int i = 0; i < 4; ++i)
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)),
                              reverseBytes);
    const __m128i abcdBefore = abcd, eBefore = e;
    Groups<0>(abcd, e, w);
    // e holds the A of four steps before the end, from which the last E comes.
    e = _mm_sha1nexte_epu32(e, eBefore);
    abcd = _mm_add_epi32(abcd, abcdBefore);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = uint32_t(_mm_extract_epi32(e, 3));
}
#endif

BlockFunction ChosenBlocks() {
#if defined(__i386__) || defined(__x86_64__)
  if (CpuHasShaInstructions()) return ShaInstructionBlocks;
#endif
  return ScalarBlocks;
}

}  // namespace

void Sha1Begin(Sha1* sha) {
  static constexpr uint32_t kInitial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                           0xC3D2E1F0};
  memcpy(sha->State, kInitial, sizeof kInitial);
  sha->Length = 0;
  sha->PendingCount = 0;
}

void Sha1Add(Sha1* sha, const uint8_t* data, size_t n) {
  if (n == 0) return;
  const BlockFunction blocks = ChosenBlocks();
  sha->Length += n;
  if (sha->PendingCount) {
    const size_t take =
        n < kSha1BlockSize - sha->PendingCount ? n : kSha1BlockSize - sha->PendingCount;
    memcpy(sha->Pending + sha->PendingCount, data, take);
    sha->PendingCount += uint32_t(take);
    data += take;
    n -= take;
    if (sha->PendingCount < kSha1BlockSize) return;
    blocks(sha->State, sha->Pending, 1);
    sha->PendingCount = 0;
  }
  if (n >= kSha1BlockSize) {
    blocks(sha->State, data, n / kSha1BlockSize);
    data += n & ~size_t(kSha1BlockSize - 1);
    n &= kSha1BlockSize - 1;
  }
  memcpy(sha->Pending, data, n);
  sha->PendingCount = uint32_t(n);
}

void Sha1End(Sha1* sha, uint8_t digest[kSha1DigestSize]) {
  const uint64_t bits = sha->Length * 8;
  uint8_t* pending = sha->Pending;
  uint32_t used = sha->PendingCount;
  pending[used++] = 0x80;
  if (used > kSha1BlockSize - 8) {
    memset(pending + used, 0, kSha1BlockSize - used);
    ChosenBlocks()(sha->State, pending, 1);
    used = 0;
  }
  memset(pending + used, 0, kSha1BlockSize - 8 - used);
  StoreBe32(pending + 56, uint32_t(bits >> 32));
  StoreBe32(pending + 60, uint32_t(bits));
  ChosenBlocks()(sha->State, pending, 1);
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, sha->State[i]);
}

void HmacSha1Begin(HmacSha1* mac, const uint8_t* key, size_t keyLength) {
  uint8_t block[kSha1BlockSize] = {};
  if (keyLength > kSha1BlockSize) {
    Sha1Begin(&mac->Inner);
    Sha1Add(&mac->Inner, key, keyLength);
    Sha1End(&mac->Inner, block);
  } else if (keyLength) {
    memcpy(block, key, keyLength);
  }
  for (uint8_t& b : block) b ^= 0x36;
  Sha1Begin(&mac->Inner);
  Sha1Add(&mac->Inner, block, kSha1BlockSize);
  for (uint8_t& b : block) b ^= 0x36 ^ 0x5C;
  Sha1Begin(&mac->Outer);
  Sha1Add(&mac->Outer, block, kSha1BlockSize);
  WipeMemory(block, sizeof block);
}

void HmacSha1Add(HmacSha1* mac, const uint8_t* data, size_t n) {
  Sha1Add(&mac->Inner, data, n);
}

// Leaves nothing of the key behind in `mac`.
void HmacSha1End(HmacSha1* mac, uint8_t digest[kSha1DigestSize]) {
  uint8_t inner[kSha1DigestSize];
  Sha1End(&mac->Inner, inner);
  Sha1Add(&mac->Outer, inner, kSha1DigestSize);
  Sha1End(&mac->Outer, digest);
  WipeMemory(mac, sizeof *mac);
}

void Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
  HmacSha1 keyed;
  HmacSha1Begin(&keyed, password, passwordLength);
  const BlockFunction blocks = ChosenBlocks();
  // After the first, each iteration hashes one 20-byte digest behind a key block: a single
  // padded block for the inner hash and one for the outer, built here once (84 bytes, 672
  // bits), so an iteration costs two block calls.
  uint8_t block[kSha1BlockSize] = {};
  block[kSha1DigestSize] = 0x80;
  StoreBe32(block + 60, (kSha1BlockSize + kSha1DigestSize) * 8);
  uint8_t sum[kSha1DigestSize];
  uint32_t state[5];
  const Sha1* const halves[2] = {&keyed.Inner, &keyed.Outer};
  for (uint32_t index = 1; outLength; ++index) {
    HmacSha1 mac = keyed;
    const uint8_t indexBytes[4] = {uint8_t(index >> 24), uint8_t(index >> 16), uint8_t(index >> 8),
                                   uint8_t(index)};
    HmacSha1Add(&mac, salt, saltLength);
    HmacSha1Add(&mac, indexBytes, 4);
    HmacSha1End(&mac, block);
    memcpy(sum, block, kSha1DigestSize);
    for (uint32_t i = 1; i < iterations; ++i) {
      for (const Sha1* half : halves) {
        memcpy(state, half->State, sizeof state);
        blocks(state, block, 1);
        for (int j = 0; j < 5; ++j) StoreBe32(block + 4 * j, state[j]);
      }
      for (uint32_t j = 0; j < kSha1DigestSize; ++j) sum[j] ^= block[j];
    }
    const size_t take = outLength < kSha1DigestSize ? outLength : kSha1DigestSize;
    memcpy(out, sum, take);
    out += take;
    outLength -= take;
  }
  WipeMemory(&keyed, sizeof keyed);
  WipeMemory(block, sizeof block);
  WipeMemory(sum, sizeof sum);
  WipeMemory(state, sizeof state);
}

void WipeMemory(void* data, size_t n) {
  memset(data, 0, n);
  // The compiler must assume that the empty statement reads the zeros, so it keeps the memset.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}
