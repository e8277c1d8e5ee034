// Builds small PE32 files for tests: just the headers and section table the image-end search
// reads, with every section's raw data zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

struct SectionSpec {
  uint32_t rawPointer;  // PointerToRawData
  uint32_t rawSize;     // SizeOfRawData
};

constexpr uint32_t kDefaultPeOffset = 0x80;

// The file is exactly as long as the largest rawPointer + rawSize (or the headers, if longer).
std::vector<uint8_t> BuildPeImage(const std::vector<SectionSpec>& sections,
                                  uint32_t peOffset = kDefaultPeOffset);

// The 256-byte option block: "MPU", flags, three lengths, the texts, zero padding.
// Texts that do not fit are cut off at 256 bytes (tests use this to make bad blocks).
std::vector<uint8_t> BuildOptionBlock(uint8_t flags, const std::vector<uint8_t>& caption,
                                      const std::vector<uint8_t>& folder,
                                      const std::vector<uint8_t>& command);

std::vector<uint8_t> Bytes(const char* text);
void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes);
void PutU16(std::vector<uint8_t>& to, size_t at, uint16_t value);
void PutU32(std::vector<uint8_t>& to, size_t at, uint32_t value);

}  // namespace testing_support
