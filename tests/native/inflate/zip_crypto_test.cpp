// The traditional PKWARE encryption (ZIP application note 6.1): known answers for the key
// schedule and the check byte, computed with an independent implementation, and the password
// tries the extraction loop makes.
#include "unpacker/inflate/zip_crypto.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/inflate/crc32.h"

using namespace inflate_testing;

namespace {

class ZipCrypto : public ::testing::Test {
 protected:
  void SetUp() override { BuildCrcTable(); }
};

struct KeysCase {
  std::string password;
  uint32_t key0, key1, key2;
  uint8_t stream;  // DecryptByte right after InitKeys
};

class KeySchedule : public ZipCrypto, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(KeySchedule, KnownAnswers) {
  const KeysCase& c = GetParam();
  InitKeys(c.password.data(), uint32_t(c.password.size()));
  EXPECT_EQ(Key0, c.key0);
  EXPECT_EQ(Key1, c.key1);
  EXPECT_EQ(Key2, c.key2);
  EXPECT_EQ(DecryptByte(), c.stream);
  EXPECT_EQ(DecryptByte(), c.stream) << "DecryptByte leaves the keys alone";
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, KeySchedule,
    ::testing::Values(KeysCase{"", 0x12345678, 0x23456789, 0x34567890, 0xAB},
                      KeysCase{"pw", 0x84B08862, 0xA9D03C15, 0x0C0A49ED, 0xE3},
                      KeysCase{"secret", 0xDDA9E469, 0x96212999, 0xF9FC9651, 0xC8},
                      // Bytes of the ANSI code page go in as they are (비밀 in code page 949).
                      KeysCase{"\xBA\xF1\xB9\xD0", 0xFB3428F2, 0x52574957, 0x0220519D, 0xAF}));

// The stored header 10 11 .. 1B decrypts with "secret" to d8 c9 aa f0 08 0c 57 58 93 62 22 df:
// check byte 0xDF. Without flag bit 3 it is held against the CRC-32's high byte, with it
// against the modification time's high byte, whatever the CRC-32 says.
struct CheckCase {
  const char* name;
  std::string password;
  uint16_t flags;
  uint32_t dosDateTime, crc;
  bool fits;
  friend void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }
};

class CheckByte : public ZipCrypto, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckByte, DecidesWhetherThePasswordFits) {
  const CheckCase& c = GetParam();
  uint8_t block[24] = {};
  for (int i = 0; i < 12; ++i) block[12 + i] = uint8_t(0x10 + i);
  InitKeys("untouched", 9);
  const uint32_t k0 = Key0;
  EXPECT_EQ(CheckEncryptionHeader(block, 12, c.flags, ByteString(c.password.c_str()), c.dosDateTime,
                                  c.crc),
            c.fits);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(block[12 + i], 0x10 + i) << "stored header kept";
  if (c.password.empty()) EXPECT_EQ(Key0, k0) << "an empty password leaves the keys alone";
  if (c.password != "secret") return;
  EXPECT_EQ(block[11], 0xDF);
  // Whether it fits or not, the keys stand behind the twelfth byte.
  EXPECT_EQ(Key0, 0x621F1C49u);
  EXPECT_EQ(Key1, 0x1828AEF3u);
  EXPECT_EQ(Key2, 0x7081735Au);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, CheckByte,
    ::testing::Values(CheckCase{"CrcHighByte", "secret", 0x0000, 0, 0xDF000000, true},
                      CheckCase{"CrcOtherHighByte", "secret", 0x0000, 0xDF00, 0xDE0000DF, false},
                      CheckCase{"TimeHighByteWithBit3", "secret", 0x0008, 0x5A8BDF21, 0, true},
                      CheckCase{"Bit3IgnoresTheCrc", "secret", 0x0009, 0x5A8B0021, 0xDF000000,
                                false},
                      CheckCase{"DateIsNotTheTime", "secret", 0x0008, 0x00DF0000, 0, false},
                      CheckCase{"EmptyPasswordNeverFits", "", 0x0000, 0, 0xDF000000, false},
                      CheckCase{"WrongPassword", "Secret", 0x0000, 0, 0xDF000000, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The extraction loop tries the remembered password, then typed ones, on the same block: a
// wrong try leaves the stored half intact, so the right one still fits and decrypts the data.
TEST_F(ZipCrypto, WrongThenRightPassword) {
  const std::vector<uint8_t> plain = TextData(1000);
  const uint32_t crc = testing_support::ZlibCrc32(plain);
  const std::vector<uint8_t> stored =
      testing_support::EncryptTraditional(plain, "right", uint8_t(crc >> 24), 7);
  uint8_t block[24];
  std::copy(stored.begin(), stored.begin() + 12, block + 12);
  int wrongFits = 0;
  for (const char* wrong : {"wrong", "Right", "right ", "righ"})
    wrongFits += CheckEncryptionHeader(block, 12, 0, ByteString(wrong), 0, crc);
  EXPECT_LE(wrongFits, 1) << "a wrong password fits by chance 1 time in 256";
  ASSERT_TRUE(CheckEncryptionHeader(block, 12, 0, ByteString("right"), 0, crc));
  std::vector<uint8_t> data(stored.begin() + 12, stored.end());
  DecryptBuffer(data.data(), 600);
  DecryptBuffer(data.data() + 600, uint32_t(data.size() - 600));
  EXPECT_TRUE(data == plain);
}

}  // namespace
