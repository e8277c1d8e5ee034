// The encryption of an entry: the traditional PKWARE scheme or WinZip AES (AE-1, AE-2). The
// extraction reads the entry's encryption header and tries passwords on it; the decoders then
// decrypt each piece of the entry's data as they read it, and an AES entry's authentication
// code is checked at its end.
//
// AES entry data: salt (8, 12 or 16 bytes), 2-byte password verifier, the encrypted data, and
// a 10-byte authentication code: the first 10 bytes of HMAC-SHA1 over the encrypted data.
// PBKDF2-HMAC-SHA1 (1000 iterations) derives the AES key, the HMAC key and the verifier from
// the password and the salt.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"
#include "unpacker/container/entry_walk.h"

enum class EntryCipher : uint8_t { None, ZipCrypto, Aes };

constexpr uint32_t kAesVerifierSize = 2;
constexpr uint32_t kAesMacSize = 10;
constexpr uint32_t kAesIterations = 1000;
constexpr uint32_t kMaxEncryptionHeaderSize = 16 + kAesVerifierSize;

// An encrypted entry with method 99 but no usable AES extra field counts as ZipCrypto; its
// method 99 then stops it as an unknown method.
EntryCipher CipherOf(const WalkedEntry& entry);

// AES key length of a strength (16, 24, 32) and its salt length (half of it); 0 otherwise.
uint32_t AesKeySize(uint8_t strength);
uint32_t AesSaltSize(uint8_t strength);

// The bytes in front of the data (12 for ZipCrypto, salt and verifier for AES, 0 plain) and
// behind it (AES: the authentication code).
uint32_t EncryptionHeaderSize(const WalkedEntry& entry);
uint32_t EncryptionTrailerSize(const WalkedEntry& entry);

struct EncryptionHeader {
  uint8_t Bytes[kMaxEncryptionHeaderSize];
  uint32_t Size;
};

// Reads the entry's encryption header from entry.DataStart; false when the archive ends first
// or the entry is too short to hold it and its trailer.
bool ReadEncryptionHeader(const WalkedEntry& entry, EncryptionHeader* header);

// Tries the passwords in order: each candidate is the same password in another encoding.
// Returns the index of the first that fits (0..count-1), or -1. On success the decryption of
// the entry's data is ready. AES: should two candidates both pass the 2-byte verifier (one
// chance in 65,536 for each wrong one), the authentication code over the data decides.
// An empty password never fits.
int TryPasswords(const WalkedEntry& entry, const EncryptionHeader& header,
                 const ByteString* passwords, uint32_t count);

// Starts the decoding of the entry's data with the cipher readied by TryPasswords (none for a
// plain entry).
void BeginEntryDecryption(const WalkedEntry& entry);

// Decrypts n bytes of the entry's data in place, in order; AES hashes them first.
void DecryptEntryData(uint8_t* data, uint32_t n);

// After the decoders: for AES, hashes the encrypted data they did not read, reads the stored
// code and compares it in constant time; true for other ciphers. Wipes the keys either way.
bool AuthenticateEntry(const WalkedEntry& entry);

// Wipes every key of the current entry (also when it was never decoded).
void EndEntryDecryption();
