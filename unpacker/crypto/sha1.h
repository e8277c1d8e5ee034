// SHA-1 (FIPS 180-4), HMAC-SHA1 (RFC 2104) and PBKDF2-HMAC-SHA1 (RFC 8018): what the WinZip
// AES format needs to derive an entry's keys and to authenticate its data. The block function
// uses the processor's SHA instructions where they exist.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kSha1DigestSize = 20;
constexpr uint32_t kSha1BlockSize = 64;

struct Sha1 {
  uint32_t State[5];
  uint64_t Length;  // bytes added so far
  uint8_t Pending[kSha1BlockSize];
  uint32_t PendingCount;
};

void Sha1Begin(Sha1* sha);
void Sha1Add(Sha1* sha, const uint8_t* data, size_t n);
void Sha1End(Sha1* sha, uint8_t digest[kSha1DigestSize]);

struct HmacSha1 {
  Sha1 Inner;  // already holds the key XOR ipad block
  Sha1 Outer;  // already holds the key XOR opad block
};

void HmacSha1Begin(HmacSha1* mac, const uint8_t* key, size_t keyLength);
void HmacSha1Add(HmacSha1* mac, const uint8_t* data, size_t n);
void HmacSha1End(HmacSha1* mac, uint8_t digest[kSha1DigestSize]);

// Derives `outLength` bytes from the password and salt with `iterations` rounds.
void Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength);

// Overwrites n bytes with zeros in a way the compiler cannot leave out: for keys and
// passwords that must not outlive their use.
void WipeMemory(void* data, size_t n);
