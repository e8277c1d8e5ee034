// SHA-1, HMAC-SHA1, PBKDF2 and AES-CTR against published vectors and against nettle, an
// independent implementation, on random keys and data added in random pieces. Every case runs
// twice: on the processor's AES and SHA instructions and on the portable rounds.
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

std::string Hex(const uint8_t* p, size_t n) {
  std::string hex;
  for (size_t i = 0; i < n; ++i)
    hex += "0123456789abcdef"[p[i] >> 4], hex += "0123456789abcdef"[p[i] & 15];
  return hex;
}
std::string Hex(const Bytes& b) {
  return Hex(b.data(), b.size());
}

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

TEST_P(Crypto, Pbkdf2GivesTheKeysOfRfc6070) {
  struct Case {
    std::string password = "password", salt = "salt";
    uint32_t iterations;
    std::string key;
  };
  const Case cases[] = {
      {.iterations = 1, .key = "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {.iterations = 2, .key = "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {.iterations = 4096, .key = "4b007901b765489abead49d926f721d065a429c1"},
      {.password = "passwordPASSWORDpassword",
       .salt = "saltSALTsaltSALTsaltSALTsaltSALTsalt",
       .iterations = 4096,
       .key = "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {.password = std::string("pass\0word", 9),
       .salt = std::string("sa\0lt", 5),
       .iterations = 4096,
       .key = "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Case& c : cases) {
    const Bytes password(c.password.begin(), c.password.end()), salt(c.salt.begin(), c.salt.end());
    Bytes key(c.key.size() / 2);
    Pbkdf2HmacSha1(password.data(), password.size(), salt.data(), salt.size(), c.iterations,
                   key.data(), key.size());
    EXPECT_EQ(Hex(key), c.key) << c.password << " " << c.iterations;
  }
}

TEST_P(Crypto, AesGivesTheBlocksOfFips197AndRefusesOtherKeyLengths) {
  struct Case {
    uint32_t keyLength;
    const char* cipher;  // nullptr: the length is refused
  };
  const Case cases[] = {
      {.keyLength = 16, .cipher = "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {.keyLength = 24, .cipher = "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {.keyLength = 32, .cipher = "8ea2b7ca516745bfeafc49904b496089"},
      {.keyLength = 0, .cipher = nullptr},
      {.keyLength = 15, .cipher = nullptr},
      {.keyLength = 20, .cipher = nullptr},
      {.keyLength = 33, .cipher = nullptr},
  };
  uint8_t keyBytes[33], plain[16], cipher[16];
  for (int i = 0; i < 33; ++i) keyBytes[i] = uint8_t(i);
  for (int i = 0; i < 16; ++i) plain[i] = uint8_t(0x11 * i);
  for (const Case& c : cases) {
    AesKey key, untouched;
    memset(&key, 0xA5, sizeof key);
    untouched = key;
    ASSERT_EQ(AesSetKey(&key, keyBytes, c.keyLength), c.cipher != nullptr) << c.keyLength;
    if (!c.cipher) {
      EXPECT_EQ(memcmp(&key, &untouched, sizeof key), 0) << c.keyLength;
      AesCtr ctr;
      EXPECT_FALSE(AesCtrBegin(&ctr, keyBytes, c.keyLength));
      continue;
    }
    AesEncryptBlock(&key, plain, cipher);
    EXPECT_EQ(Hex(cipher, 16), c.cipher);
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
    uint8_t digest[kSha1DigestSize], macDigest[kSha1DigestSize], expected[kSha1DigestSize];
    Sha1End(&sha, digest);
    HmacSha1End(&mac, macDigest);
    ASSERT_EQ(std::count(reinterpret_cast<uint8_t*>(&mac), reinterpret_cast<uint8_t*>(&mac + 1), 0),
              sizeof mac)
        << "the keyed state outlives HmacSha1End";

    sha1_ctx oracle;
    sha1_init(&oracle);
    sha1_update(&oracle, n, data.data());
    sha1_digest(&oracle, kSha1DigestSize, expected);
    ASSERT_EQ(Hex(digest, kSha1DigestSize), Hex(expected, kSha1DigestSize)) << n;
    hmac_sha1_ctx macOracle;
    hmac_sha1_set_key(&macOracle, key.size(), key.data());
    hmac_sha1_update(&macOracle, n, data.data());
    hmac_sha1_digest(&macOracle, kSha1DigestSize, expected);
    ASSERT_EQ(Hex(macDigest, kSha1DigestSize), Hex(expected, kSha1DigestSize))
        << n << " bytes, key of " << key.size();
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
    ASSERT_EQ(Hex(key), Hex(expected))
        << password.size() << " " << salt.size() << " " << iterations;
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
    ASSERT_EQ(Hex(data), Hex(expected)) << n << " bytes, key of " << keyLength;
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
