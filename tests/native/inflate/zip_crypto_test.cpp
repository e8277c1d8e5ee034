// The traditional PKWARE encryption: known answers for the key schedule and the check byte,
// computed with an independent implementation, and the password tries the extraction loop makes.
#include "unpacker/inflate/zip_crypto.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "unpacker/inflate/crc32.h"

using namespace inflate_testing;

namespace {

TEST(ZipCrypto, KeyScheduleKnownAnswers) {
  BuildCrcTable();
  // Bytes of the ANSI code page go in as they are (비밀 in code page 949).
  for (const auto& [password, k0, k1, k2, stream] :
       {std::tuple<std::string, uint32_t, uint32_t, uint32_t, uint8_t>{
            "secret", 0xDDA9E469, 0x96212999, 0xF9FC9651, 0xC8},
        {"\xBA\xF1\xB9\xD0", 0xFB3428F2, 0x52574957, 0x0220519D, 0xAF}}) {
    InitKeys(password.data(), uint32_t(password.size()));
    EXPECT_EQ(Key0, k0);
    EXPECT_EQ(Key1, k1);
    EXPECT_EQ(Key2, k2);
    EXPECT_EQ(DecryptByte(), stream);
    EXPECT_EQ(DecryptByte(), stream) << "DecryptByte leaves the keys alone";
  }
}

// The stored header 10 11 .. 1B decrypts with "secret" to d8 c9 aa f0 08 0c 57 58 93 62 22 df:
// check byte 0xDF. Without flag bit 3 it is held against the CRC-32's high byte, with it
// against the modification time's high byte, whatever the CRC-32 says.
TEST(ZipCrypto, CheckByteDecidesWhetherThePasswordFits) {
  BuildCrcTable();
  const struct {
    const char* name;
    std::string password;
    uint16_t flags;
    uint32_t dosDateTime, crc;
    bool fits;
  } cases[] = {
      {"CrcHighByte", "secret", 0x0000, 0, 0xDF000000, true},
      {"CrcOtherHighByte", "secret", 0x0000, 0xDF00, 0xDE0000DF, false},
      {"TimeHighByteWithBit3", "secret", 0x0008, 0x5A8BDF21, 0, true},
      {"Bit3IgnoresTheCrc", "secret", 0x0009, 0x5A8B0021, 0xDF000000, false},
      {"DateIsNotTheTime", "secret", 0x0008, 0x00DF0000, 0, false},
      {"EmptyPasswordNeverFits", "", 0x0000, 0, 0xDF000000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint8_t block[24] = {};
    for (int i = 0; i < 12; ++i) block[12 + i] = uint8_t(0x10 + i);
    InitKeys("untouched", 9);
    const uint32_t k0 = Key0;
    EXPECT_EQ(CheckEncryptionHeader(block, 12, c.flags, ByteString(c.password.c_str()),
                                    c.dosDateTime, c.crc),
              c.fits);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(block[12 + i], 0x10 + i) << "stored header kept";
    if (c.password.empty()) {
      EXPECT_EQ(Key0, k0) << "an empty password leaves the keys alone";
      continue;
    }
    EXPECT_EQ(block[11], 0xDF);
    // Whether it fits or not, the keys stand behind the twelfth byte.
    EXPECT_EQ(Key0, 0x621F1C49u);
    EXPECT_EQ(Key1, 0x1828AEF3u);
    EXPECT_EQ(Key2, 0x7081735Au);
  }
}

}  // namespace
