// The traditional PKWARE encryption (ZIP application note, section 6.1): one global key set,
// shared by the check of an entry's 12-byte encryption header and the decryption of its data.
#pragma once

#include <cstdint>

#include "unpacker/container/byte_string.h"

constexpr uint32_t kEncryptionHeaderSize = 12;

extern uint32_t Key0, Key1, Key2;

void InitKeys(const char* password, uint32_t length);
void UpdateKeys(uint8_t plain);
uint8_t DecryptByte();  // the next keystream byte; does not change the keys

// Decrypts n bytes of entry data in place, first to last: each byte is XORed with DecryptByte()
// and the plain byte then goes into UpdateKeys (ZIP application note 6.1.6).
void DecryptBuffer(uint8_t* data, uint32_t n);

// Tries `password` on an entry. buffer holds 2 * headerLength bytes: the stored (encrypted)
// header in its second half, which stays unchanged; the decrypted header goes to the first
// half. The check byte (the header's last byte) must equal the high byte of the CRC-32, or,
// with flag bit 3, the high byte of the 16-bit modification time. An empty password never fits
// and leaves the keys alone. On success the keys are ready for the entry's first data byte.
bool CheckEncryptionHeader(uint8_t* buffer, uint32_t headerLength, uint16_t flags,
                           const ByteString& password, uint32_t dosDateTime, uint32_t crc32);
