// Builds small PE32 and PE32+ files for tests: just the headers, the 16 data directories and
// the section table the image-end search reads, with every section's raw data zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

struct PeSection {
  uint32_t rawPointer;  // PointerToRawData
  uint32_t rawSize;     // SizeOfRawData
};

// PE32 is the x86 image (optional header of 224 bytes), PE32+ the x64 one (240 bytes).
enum class PeFormat { Pe32, Pe32Plus };

constexpr uint32_t kDefaultPeOffset = 0x80;
constexpr uint32_t kOptionalHeaderSizeAt = kDefaultPeOffset + 4 + 16;

// The file is exactly as long as the largest rawPointer + rawSize (or the headers, if longer).
std::vector<uint8_t> BuildPeImage(const std::vector<PeSection>& sections,
                                  PeFormat format = PeFormat::Pe32);

// Points the image's data directory entry 4 (the certificate table of a signed program) at
// `size` bytes at file offset `offset`.
void SetCertificateTable(std::vector<uint8_t>& image, uint32_t offset, uint32_t size);

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
