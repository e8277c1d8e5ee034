// SHA-1, HMAC-SHA1, PBKDF2 and AES-CTR against nettle, an independent implementation, on random
// keys and data added in random pieces. Every case runs twice: on the processor's AES and SHA
// instructions and on the portable rounds.
#include <gtest/gtest.h>
#include <nettle/hmac.h>
#include <nettle/nettle-meta.h>
#include <nettle/pbkdf2.h>
#include <nettle/sha1.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "unpacker/crypto/aes.h"
#include "unpacker/crypto/cpu_features.h"
#include "unpacker/crypto/sha1.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Lengths around every block boundary up to 300 bytes, and some long runs.
std::vector<size_t> Lengths() {
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {1000, 4099, 65536 + 7, (1 << 20) + 13}) lengths.push_back(n);
  return lengths;
}

// true: the portable rounds.
class Crypto : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    UsePortableCodeForTesting(GetParam());
    if (!GetParam() && !(CpuHasAesInstructions() && CpuHasShaInstructions()))
      GTEST_SKIP() << "this processor lacks the AES or the SHA instructions";
  }
  void TearDown() override { UsePortableCodeForTesting(false); }

  size_t Uniform(size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(random);
  }
  Bytes RandomBytes(size_t n) {
    Bytes b(n);
    for (uint8_t& x : b) x = uint8_t(random());
    return b;
  }
  // Cuts n bytes into pieces, some of them empty, most short, now and then a long one.
  std::vector<size_t> Pieces(size_t n) {
    std::vector<size_t> pieces;
    while (n) {
      pieces.push_back(Uniform(0, Uniform(0, 3) ? std::min<size_t>(n, 70) : n));
      n -= pieces.back();
    }
    return pieces;
  }

  std::mt19937 random{20261208};
};

// Only keys of 16, 24 and 32 bytes are taken (their rounds are held against nettle below); any
// other length leaves the key as it was.
TEST_P(Crypto, AesRefusesOtherKeyLengths) {
  const uint8_t keyBytes[33] = {};
  for (const uint32_t keyLength : {0, 15, 20, 33}) {
    AesKey key, untouched;
    memset(&key, 0xA5, sizeof key);
    untouched = key;
    AesCtr ctr;
    EXPECT_FALSE(AesSetKey(&key, keyBytes, keyLength) || AesCtrBegin(&ctr, keyBytes, keyLength));
    EXPECT_EQ(memcmp(&key, &untouched, sizeof key), 0) << keyLength;
  }
}

TEST_P(Crypto, Sha1AndHmacMatchNettleWhateverThePieces) {
  for (size_t n : Lengths()) {
    const Bytes data = RandomBytes(n), key = RandomBytes(Uniform(0, 150));
    Sha1 sha;
    HmacSha1 mac;
    Sha1Begin(&sha);
    HmacSha1Begin(&mac, key.data(), key.size());
    const uint8_t* p = data.data();
    for (size_t piece : Pieces(n)) {
      Sha1Add(&sha, p, piece);
      HmacSha1Add(&mac, p, piece);
      p += piece;
    }
    Bytes digest(kSha1DigestSize), macDigest(kSha1DigestSize), expected(kSha1DigestSize);
    Sha1End(&sha, digest.data());
    HmacSha1End(&mac, macDigest.data());
    ASSERT_EQ(std::count(reinterpret_cast<uint8_t*>(&mac), reinterpret_cast<uint8_t*>(&mac + 1), 0),
              sizeof mac)
        << "the keyed state outlives HmacSha1End";

    sha1_ctx oracle;
    sha1_init(&oracle);
    sha1_update(&oracle, n, data.data());
    sha1_digest(&oracle, kSha1DigestSize, expected.data());
    ASSERT_EQ(digest, expected) << n;
    hmac_sha1_ctx macOracle;
    hmac_sha1_set_key(&macOracle, key.size(), key.data());
    hmac_sha1_update(&macOracle, n, data.data());
    hmac_sha1_digest(&macOracle, kSha1DigestSize, expected.data());
    ASSERT_EQ(macDigest, expected) << n << " bytes, key of " << key.size();
  }
}

TEST_P(Crypto, Pbkdf2MatchesNettle) {
  for (int i = 0; i < 60; ++i) {
    const Bytes password = RandomBytes(Uniform(0, 100)), salt = RandomBytes(Uniform(0, 40));
    const uint32_t iterations = uint32_t(Uniform(1, 40));
    Bytes key(Uniform(1, 70)), expected(key.size());
    Pbkdf2HmacSha1(password.data(), password.size(), salt.data(), salt.size(), iterations,
                   key.data(), key.size());
    pbkdf2_hmac_sha1(password.size(), password.data(), iterations, salt.size(), salt.data(),
                     expected.size(), expected.data());
    ASSERT_EQ(key, expected) << password.size() << " " << salt.size() << " " << iterations;
  }
}

// The keystream is nettle's encryption of the little-endian counter blocks. Every other run
// starts from a counter whose low bytes are all 0xFF, so that carries cross the 64-bit halves
// and wrap around 2^128.
TEST_P(Crypto, AesCtrMatchesNettleOnTheCounterBlocksWhateverThePieces) {
  for (size_t n : Lengths()) {
    const uint32_t keyLength = 16 + 8 * uint32_t(n % 3);
    const Bytes keyBytes = RandomBytes(keyLength), plain = RandomBytes(n);
    AesCtr ctr;
    ASSERT_TRUE(AesCtrBegin(&ctr, keyBytes.data(), keyLength));
    unsigned __int128 counter = 1;
    if (n % 2) {
      const Bytes start = RandomBytes(16);
      memcpy(&counter, start.data(), 16);
      counter |= ~(unsigned __int128)0 >> 8 * Uniform(0, 15);
      memcpy(ctr.Counter, &counter, 16);
    }
    Bytes blocks((n + 15) / 16 * 16), expected = plain;
    for (size_t i = 0; i < blocks.size(); i += 16, ++counter) memcpy(&blocks[i], &counter, 16);
    const nettle_cipher& aes = keyLength == 16   ? nettle_aes128
                               : keyLength == 24 ? nettle_aes192
                                                 : nettle_aes256;
    Bytes context(aes.context_size);
    aes.set_encrypt_key(context.data(), keyBytes.data());
    aes.encrypt(context.data(), blocks.size(), blocks.data(), blocks.data());
    for (size_t i = 0; i < n; ++i) expected[i] ^= blocks[i];

    Bytes data = plain;
    uint8_t* p = data.data();
    for (size_t piece : Pieces(n)) AesCtrApply(&ctr, p, piece), p += piece;
    ASSERT_EQ(data, expected) << n << " bytes, key of " << keyLength;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, Crypto, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Scalar" : "Instructions"; });

// The processor's features as the kernel lists them, against the answers of CPUID.
TEST(CpuFeatures, AgreeWithTheKernelAndYieldToTheScalarSwitch) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
  }
  if (line.empty()) GTEST_SKIP() << "no /proc/cpuinfo flags";
  const auto has = [&](const char* flag) {
    return (line + " ").find(std::string(" ") + flag + " ") != std::string::npos;
  };
  EXPECT_EQ(CpuHasAesInstructions(), has("aes") && has("sse2"));
  EXPECT_EQ(CpuHasShaInstructions(), has("sha_ni") && has("sse4_1"));
  EXPECT_EQ(CpuHasCarrylessMultiply(), has("pclmulqdq") && has("sse2"));
  UsePortableCodeForTesting(true);
  EXPECT_FALSE(CpuHasAesInstructions() || CpuHasShaInstructions() || CpuHasCarrylessMultiply());
  UsePortableCodeForTesting(false);
}

TEST(WipeMemory, ZeroesTheRangeAndNothingElse) {
  uint8_t bytes[40];
  memset(bytes, 0xAA, sizeof bytes);
  WipeMemory(bytes + 3, 30);
  for (size_t i = 0; i < sizeof bytes; ++i) EXPECT_EQ(bytes[i], i >= 3 && i < 33 ? 0 : 0xAA) << i;
}

}  // namespace
