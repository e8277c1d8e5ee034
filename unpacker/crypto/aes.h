// AES encryption (FIPS-197) with 128, 192 and 256-bit keys, and the counter mode of the
// WinZip AES format: a 16-byte little-endian counter that starts at 1, one keystream block per
// 16 bytes of data. CTR only encrypts blocks, so no decryption rounds are needed. The rounds
// use the processor's AES instructions where they exist.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kAesBlockSize = 16;
constexpr uint32_t kAesMaxRounds = 14;

struct AesKey {
  uint8_t RoundKeys[(kAesMaxRounds + 1) * kAesBlockSize];  // in FIPS-197 byte order
  uint32_t Rounds;                                         // 10, 12 or 14
};

// keyLength is 16, 24 or 32; false (and nothing set) for any other length.
bool AesSetKey(AesKey* key, const uint8_t* keyBytes, uint32_t keyLength);
void AesEncryptBlock(const AesKey* key, const uint8_t in[kAesBlockSize],
                     uint8_t out[kAesBlockSize]);

struct AesCtr {
  AesKey Key;
  uint8_t Counter[kAesBlockSize];    // the next counter block
  uint8_t Keystream[kAesBlockSize];  // the current keystream block
  uint32_t KeystreamUsed;            // bytes of Keystream already used; 16 = none left
};

// Sets the key and the counter to 1. False for a key length other than 16, 24 or 32.
bool AesCtrBegin(AesCtr* ctr, const uint8_t* keyBytes, uint32_t keyLength);
// XORs n bytes with the keystream, in place; encryption and decryption are the same. Calls may
// split the data anywhere.
void AesCtrApply(AesCtr* ctr, uint8_t* data, size_t n);
