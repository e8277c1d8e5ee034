#include "unpacker/crypto/zip_crypto.h"

#include "unpacker/inflate/crc32.h"

uint32_t Key0, Key1, Key2;

void InitKeys(const char* password, uint32_t length) {
  Key0 = 0x12345678;
  Key1 = 0x23456789;
  Key2 = 0x34567890;
  for (uint32_t i = 0; i < length; ++i) UpdateKeys(uint8_t(password[i]));
}

void UpdateKeys(uint8_t plain) {
  Key0 = UpdateCrcByte(plain, Key0);
  Key1 = (Key1 + (Key0 & 0xFF)) * 134775813u + 1;
  Key2 = UpdateCrcByte(uint8_t(Key1 >> 24), Key2);
}

uint8_t DecryptByte() {
  const uint32_t t = (Key2 & 0xFFFF) | 2;
  return uint8_t((t * (t ^ 1)) >> 8);
}

void DecryptBuffer(uint8_t* data, uint32_t n) {
  // The keys stay in registers for the whole piece; the steps are those of DecryptByte and
  // UpdateKeys.
  uint32_t k0 = Key0, k1 = Key1, k2 = Key2;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t t = (k2 & 0xFFFF) | 2;
    const uint8_t plain = data[i] ^ uint8_t((t * (t ^ 1)) >> 8);
    data[i] = plain;
    k0 = CrcTable[(k0 ^ plain) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcTable[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
  }
  Key0 = k0;
  Key1 = k1;
  Key2 = k2;
}

bool CheckEncryptionHeader(uint8_t* buffer, uint32_t headerLength, uint16_t flags,
                           const ByteString& password, uint32_t dosDateTime, uint32_t crc32) {
  if (password.empty() || headerLength == 0) return false;
  InitKeys(password.c_str(), password.size());
  for (uint32_t i = 0; i < headerLength; ++i) {
    const uint8_t plain = buffer[headerLength + i] ^ DecryptByte();
    UpdateKeys(plain);
    buffer[i] = plain;
  }
  const uint8_t check = buffer[headerLength - 1];
  // With flag bit 3 the writer did not know the CRC-32 when it wrote the header, and used the
  // high byte of the modification time instead.
  if (flags & 0x0008) return check == uint8_t(dosDateTime >> 8);
  return check == uint8_t(crc32 >> 24);
}
