// CRC-32 of the ZIP format (ISO 3309, ITU-T V.42): reflected polynomial 0xEDB88320, register
// started at 0xFFFFFFFF and complemented at the end.
#pragma once

#include <cstdint>

// The byte-wise table: CrcTable[n] is the register after eight shifts of n. Filled once at
// start-up by BuildCrcTable, read-only afterwards.
extern uint32_t CrcTable[256];

void BuildCrcTable();

// One byte into the register: CrcTable[(r ^ b) & 0xFF] ^ (r >> 8).
uint32_t UpdateCrcByte(uint8_t b, uint32_t r);

// n bytes into *r, in order; nothing when n <= 0.
void UpdateCrcBuffer(const uint8_t* data, int32_t n, uint32_t* r);
