// CRC-32 of the ZIP format: the byte-wise table is the published one, and the sliced buffer
// update gives what zlib and the byte-wise update give, at every length and alignment.
#include "unpacker/inflate/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

class Crc32 : public ::testing::Test {
 protected:
  void SetUp() override { BuildCrcTable(); }
};

// Known answers of the ZIP CRC-32 (ISO 3309 / ITU-T V.42).
struct KnownCrc {
  const char* text;
  uint32_t crc;
};

class Crc32Known : public Crc32, public ::testing::WithParamInterface<KnownCrc> {};

TEST_P(Crc32Known, OfText) {
  const std::string text = GetParam().text;
  uint32_t r = 0xFFFFFFFF;
  UpdateCrcBuffer(reinterpret_cast<const uint8_t*>(text.data()), int32_t(text.size()), &r);
  EXPECT_EQ(r ^ 0xFFFFFFFF, GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(Texts, Crc32Known,
                         ::testing::Values(KnownCrc{"", 0}, KnownCrc{"123456789", 0xCBF43926},
                                           KnownCrc{"The quick brown fox jumps over the lazy dog",
                                                    0x414FA339}));

// Every length up to 300 at every alignment, in one piece and in two at every split: the same
// as zlib's crc32 and as UpdateCrcByte byte by byte.
TEST_F(Crc32, SlicedUpdateEqualsByteWiseAndZlib) {
  const std::vector<uint8_t> data = RandomData(400, 11);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length + offset <= 316; ++length) {
      const uint8_t* p = data.data() + offset;
      uint32_t sliced = 0xFFFFFFFF, bytewise = 0xFFFFFFFF;
      UpdateCrcBuffer(p, int32_t(length), &sliced);
      for (size_t i = 0; i < length; ++i) bytewise = UpdateCrcByte(p[i], bytewise);
      ASSERT_EQ(sliced, bytewise) << offset << " " << length;
      ASSERT_EQ(sliced ^ 0xFFFFFFFF, crc32(0, p, uInt(length))) << offset << " " << length;
    }
  }
  const std::vector<uint8_t> big = BinaryData(1 << 20);
  for (size_t split : {size_t(0), size_t(1), size_t(15), size_t(4097), big.size()}) {
    uint32_t r = 0xFFFFFFFF;
    UpdateCrcBuffer(big.data(), int32_t(split), &r);
    UpdateCrcBuffer(big.data() + split, int32_t(big.size() - split), &r);
    EXPECT_EQ(r ^ 0xFFFFFFFF, crc32(0, big.data(), uInt(big.size()))) << split;
  }
}

TEST_F(Crc32, NothingForLengthZeroOrLess) {
  const uint8_t byte = 0x5A;
  for (int32_t n : {0, -1, INT32_MIN}) {
    uint32_t r = 0x12345678;
    UpdateCrcBuffer(&byte, n, &r);
    EXPECT_EQ(r, 0x12345678u) << n;
  }
}

}  // namespace
