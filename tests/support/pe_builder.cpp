#include "tests/support/pe_builder.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

std::vector<uint8_t> Bytes(const char* text) {
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

void PutU16(std::vector<uint8_t>& to, size_t at, uint16_t value) {
  to[at] = uint8_t(value);
  to[at + 1] = uint8_t(value >> 8);
}

void PutU32(std::vector<uint8_t>& to, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) to[at + i] = uint8_t(value >> (8 * i));
}

namespace {

uint32_t LoadU32At(const std::vector<uint8_t>& from, size_t at) {
  return uint32_t(from[at]) | uint32_t(from[at + 1]) << 8 | uint32_t(from[at + 2]) << 16 |
         uint32_t(from[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const std::vector<PeSection>& sections, PeFormat format) {
  const bool pe32 = format == PeFormat::Pe32;
  const uint32_t peOffset = kDefaultPeOffset, optionalHeaderSize = pe32 ? 224 : 240;
  const size_t tableOffset = size_t(peOffset) + 4 + 20 + optionalHeaderSize;
  size_t length = tableOffset + 40 * sections.size();
  for (const PeSection& s : sections)
    length = std::max<size_t>(length, size_t(s.rawPointer) + s.rawSize);

  std::vector<uint8_t> image(length, 0);
  std::memcpy(&image[0], "MZ", 2);
  PutU32(image, 60, peOffset);
  std::memcpy(&image[peOffset], "PE\0\0", 4);
  PutU16(image, peOffset + 4, pe32 ? 0x014C : 0x8664);  // i386 or AMD64
  PutU16(image, peOffset + 4 + 2, uint16_t(sections.size()));
  PutU16(image, kOptionalHeaderSizeAt, uint16_t(optionalHeaderSize));
  PutU16(image, peOffset + 24, pe32 ? 0x010B : 0x020B);  // optional header magic
  PutU32(image, peOffset + 24 + (pe32 ? 92 : 108), 16);  // NumberOfRvaAndSizes
  for (size_t i = 0; i < sections.size(); ++i) {
    const size_t at = tableOffset + 40 * i;
    std::memcpy(&image[at], ".sect", 5);
    PutU32(image, at + 16, sections[i].rawSize);
    PutU32(image, at + 20, sections[i].rawPointer);
  }
  return image;
}

void SetCertificateTable(std::vector<uint8_t>& image, uint32_t offset, uint32_t size) {
  const size_t optional = LoadU32At(image, 60) + 24;
  const size_t entry = optional + (image[optional + 1] == 0x02 ? 112 : 96) + 4 * 8;
  PutU32(image, entry, offset);
  PutU32(image, entry + 4, size);
}

std::vector<uint8_t> BuildOptionBlock(uint8_t flags, const std::vector<uint8_t>& caption,
                                      const std::vector<uint8_t>& folder,
                                      const std::vector<uint8_t>& command) {
  std::vector<uint8_t> block = Bytes("MPU");
  block.push_back(flags);
  for (const std::vector<uint8_t>* text : {&caption, &folder, &command})
    block.push_back(uint8_t(text->size()));
  for (const std::vector<uint8_t>* text : {&caption, &folder, &command}) Append(block, *text);
  block.resize(256, 0);
  return block;
}

}  // namespace testing_support
