// CRC-32 and the traditional PKWARE encryption built on it. The keys' effect on data shows in
// the decoder's encrypted round trips and real archives; here: the sliced CRC-32 update against
// zlib, and the check byte that decides whether a password fits.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

// The sliced buffer update gives what zlib and the byte-wise update give, at every length and
// alignment (the decoder's round trips cover updates in pieces).
TEST(Crc32, SlicedUpdateEqualsByteWiseAndZlib) {
  BuildCrcTable();
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
    uint32_t r = 0x12345678;
    UpdateCrcBuffer(data.data(), n, &r);
    EXPECT_EQ(r, 0x12345678u) << "nothing for a negative length " << n;
  }
}

// The stored header 10 11 .. 1B decrypts with "secret" to d8 c9 aa f0 08 0c 57 58 93 62 22 df:
// check byte 0xDF. Without flag bit 3 it is held against the CRC-32's high byte, with it
// against the modification time's high byte, whatever the CRC-32 says.
TEST(ZipCrypto, CheckByteDecidesWhetherThePasswordFits) {
  BuildCrcTable();
  const struct {
    std::string password = "secret";
    uint16_t flags = 0;
    uint32_t dosDateTime = 0, crc = 0;
    bool fits;
  } cases[] = {
      {.crc = 0xDF000000, .fits = true},
      {.dosDateTime = 0xDF00, .crc = 0xDE0000DF, .fits = false},
      {.flags = 0x0008, .dosDateTime = 0x5A8BDF21, .fits = true},
      {.flags = 0x0009, .dosDateTime = 0x5A8B0021, .crc = 0xDF000000, .fits = false},
      {.flags = 0x0008, .dosDateTime = 0x00DF0000, .fits = false},  // the date is not the time
      {.password = "", .crc = 0xDF000000, .fits = false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    uint8_t block[24] = {};
    for (int i = 0; i < 12; ++i) block[12 + i] = uint8_t(0x10 + i);
    InitKeys("untouched", 9);
    const uint32_t k0 = Key0;
    EXPECT_EQ(CheckEncryptionHeader(block, 12, c.flags, ByteString(c.password.c_str()),
                                    c.dosDateTime, c.crc),
              c.fits);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(block[12 + i], 0x10 + i) << "stored header kept";
    if (c.password.empty()) EXPECT_EQ(Key0, k0) << "an empty password leaves the keys alone";
    if (!c.password.empty()) EXPECT_EQ(block[11], 0xDF);
  }
}

}  // namespace
