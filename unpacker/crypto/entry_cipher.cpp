#include "unpacker/crypto/entry_cipher.h"

#include "unpacker/container/archive_access.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/crypto/aes.h"
#include "unpacker/crypto/sha1.h"
#include "unpacker/crypto/zip_crypto.h"

namespace {

EntryCipher ActiveCipher = EntryCipher::None;

// The AES entry being decoded: keystream, the running authentication code, and how many bytes
// of encrypted data went into it.
struct AesEntryState {
  AesCtr Ctr;
  HmacSha1 Mac;
  uint64_t BytesHashed;
};
AesEntryState Aes;

constexpr uint32_t kPieceSize = 16384;

// Derives the keys of `password` for an AES entry; true when its verifier is the stored one.
// Leaves Aes ready for the data.
bool DeriveAesKeys(const WalkedEntry& entry, const EncryptionHeader& header,
                   const ByteString& password) {
  const uint32_t keySize = AesKeySize(entry.AesStrength), saltSize = AesSaltSize(entry.AesStrength);
  uint8_t derived[2 * 32 + kAesVerifierSize];
  const uint32_t derivedSize = 2 * keySize + kAesVerifierSize;
  Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(password.c_str()), password.size(), header.Bytes,
                 saltSize, kAesIterations, derived, derivedSize);
  const bool fits = derived[2 * keySize] == header.Bytes[saltSize] &&
                    derived[2 * keySize + 1] == header.Bytes[saltSize + 1];
  AesCtrBegin(&Aes.Ctr, derived, keySize);
  HmacSha1Begin(&Aes.Mac, derived + keySize, keySize);
  Aes.BytesHashed = 0;
  WipeMemory(derived, sizeof derived);
  return fits;
}

// Hashes the encrypted data from byte Aes.BytesHashed to its end, reads the stored code and
// compares. Takes a few microseconds per kilobyte; the archive position is left anywhere.
bool MacMatches(const WalkedEntry& entry) {
  const int64_t start = entry.DataStart + EncryptionHeaderSize(entry);
  const int64_t end = entry.DataEnd - kAesMacSize;
  uint8_t piece[kPieceSize];
  uint32_t got = 0;
  SeekArchive(start + int64_t(Aes.BytesHashed), SeekFromBegin);
  for (int64_t left = end - start - int64_t(Aes.BytesHashed); left > 0; left -= got) {
    const uint32_t want = left < kPieceSize ? uint32_t(left) : kPieceSize;
    ReadArchive(piece, want, &got);
    if (got != want) return false;
    HmacSha1Add(&Aes.Mac, piece, got);
  }
  uint8_t stored[kAesMacSize], computed[kSha1DigestSize];
  SeekArchive(end, SeekFromBegin);
  ReadArchive(stored, kAesMacSize, &got);
  HmacSha1End(&Aes.Mac, computed);
  // Every byte is compared, whatever the first difference: the time says nothing of where.
  uint8_t difference = got == kAesMacSize ? 0 : 1;
  for (uint32_t i = 0; i < kAesMacSize; ++i) difference |= uint8_t(stored[i] ^ computed[i]);
  WipeMemory(computed, sizeof computed);
  return difference == 0;
}

}  // namespace

EntryCipher CipherOf(const WalkedEntry& entry) {
  if (!(LocalHeader.Flags & kFlagEncrypted)) return EntryCipher::None;
  return entry.AesStrength != 0 ? EntryCipher::Aes : EntryCipher::ZipCrypto;
}

uint32_t AesKeySize(uint8_t strength) {
  return strength >= 1 && strength <= 3 ? 8 + 8 * strength : 0;
}

uint32_t AesSaltSize(uint8_t strength) {
  return AesKeySize(strength) / 2;
}

uint32_t EncryptionHeaderSize(const WalkedEntry& entry) {
  switch (CipherOf(entry)) {
    case EntryCipher::None:
      return 0;
    case EntryCipher::ZipCrypto:
      return kEncryptionHeaderSize;
    case EntryCipher::Aes:
      return AesSaltSize(entry.AesStrength) + kAesVerifierSize;
  }
  return 0;
}

uint32_t EncryptionTrailerSize(const WalkedEntry& entry) {
  return CipherOf(entry) == EntryCipher::Aes ? kAesMacSize : 0;
}

bool ReadEncryptionHeader(const WalkedEntry& entry, EncryptionHeader* header) {
  header->Size = EncryptionHeaderSize(entry);
  if (entry.DataEnd - entry.DataStart < int64_t(header->Size + EncryptionTrailerSize(entry)))
    return false;
  uint32_t got;
  SeekArchive(entry.DataStart, SeekFromBegin);
  ReadArchive(header->Bytes, header->Size, &got);
  return got == header->Size;
}

int TryPasswords(const WalkedEntry& entry, const EncryptionHeader& header,
                 const ByteString* passwords, uint32_t count) {
  const LocalHeaderRecord& h = LocalHeader;
  if (CipherOf(entry) == EntryCipher::ZipCrypto) {
    uint8_t block[2 * kEncryptionHeaderSize];
    for (uint32_t i = 0; i < count; ++i) {
      for (uint32_t j = 0; j < kEncryptionHeaderSize; ++j)
        block[kEncryptionHeaderSize + j] = header.Bytes[j];
      if (CheckEncryptionHeader(block, kEncryptionHeaderSize, h.Flags, passwords[i], h.DosDateTime,
                                h.Crc32))
        return int(i);
    }
    return -1;
  }
  if (CipherOf(entry) != EntryCipher::Aes) return -1;
  int found = -1, derived = -1;
  for (uint32_t i = 0; i < count; ++i) {
    if (passwords[i].empty()) continue;
    derived = int(i);
    if (!DeriveAesKeys(entry, header, passwords[i])) continue;
    if (found < 0) {
      found = int(i);
      continue;
    }
    // A second candidate passes the verifier too: the one whose code matches the data wins.
    if (MacMatches(entry)) found = int(i);
    derived = -1;  // the check used the state up
    break;
  }
  if (found >= 0 && found != derived) DeriveAesKeys(entry, header, passwords[found]);
  return found;
}

void BeginEntryDecryption(const WalkedEntry& entry) {
  ActiveCipher = CipherOf(entry);
}

void DecryptEntryData(uint8_t* data, uint32_t n) {
  switch (ActiveCipher) {
    case EntryCipher::None:
      return;
    case EntryCipher::ZipCrypto:
      DecryptBuffer(data, n);
      return;
    case EntryCipher::Aes:
      HmacSha1Add(&Aes.Mac, data, n);
      Aes.BytesHashed += n;
      AesCtrApply(&Aes.Ctr, data, n);
      return;
  }
}

bool AuthenticateEntry(const WalkedEntry& entry) {
  const bool good = ActiveCipher != EntryCipher::Aes || MacMatches(entry);
  EndEntryDecryption();
  return good;
}

void EndEntryDecryption() {
  ActiveCipher = EntryCipher::None;
  WipeMemory(&Aes, sizeof Aes);
  Key0 = Key1 = Key2 = 0;
}
