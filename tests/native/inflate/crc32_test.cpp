// CRC-32 of the ZIP format: the sliced buffer update gives what zlib and the byte-wise update
// give, at every length and alignment (the decoder's round trips cover updates in pieces).
#include "unpacker/inflate/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

TEST(Crc32, SlicedUpdateEqualsByteWiseAndZlib) {
  BuildCrcTable();
  uint32_t r = 0xFFFFFFFF;
  UpdateCrcBuffer(reinterpret_cast<const uint8_t*>("123456789"), 9, &r);
  EXPECT_EQ(r ^ 0xFFFFFFFF, 0xCBF43926u);
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
  for (int32_t n : {-1, INT32_MIN}) {
    r = 0x12345678;
    UpdateCrcBuffer(data.data(), n, &r);
    EXPECT_EQ(r, 0x12345678u) << "nothing for a negative length " << n;
  }
}

}  // namespace
