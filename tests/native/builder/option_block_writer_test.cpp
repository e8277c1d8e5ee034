#include "builder/option_block_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mksfx::BuildOptionBlock;
using mksfx::OptionBlock;
using mksfx::OptionTexts;

std::string Bytes(const OptionBlock& b, size_t from, size_t n) {
  return std::string(reinterpret_cast<const char*>(b.data()) + from, n);
}

// The block's bytes for each flag and text combination: magic, flag byte, three lengths, the
// texts packed in order, zeros to 256.
TEST(OptionBlockWriter, LayoutOfFlagsAndTexts) {
  const struct {
    uint8_t flags;
    OptionTexts texts;
  } cases[] = {
      {0x00, {}},
      {0x08, {"Setup", "", ""}},
      {0x40, {"", "{temp}\\x", ""}},
      {0x80, {"", "", "setup.exe|/S ><"}},
      {0xC8, {"\xC7\xD1\xB1\xDB", "C:\\Program Files\\App", "{dest}setup.exe|><"}},
      {0x48, {std::string(83, 'c'), std::string(83, 'f'), std::string(83, 'r')}},
  };
  for (const auto& c : cases) {
    OptionBlock block;
    std::string error;
    ASSERT_TRUE(BuildOptionBlock(c.flags, c.texts, &block, &error)) << error;
    const size_t l1 = c.texts.caption.size(), l2 = c.texts.folder.size(),
                 l3 = c.texts.command.size();
    EXPECT_EQ(Bytes(block, 0, 3), "MPU");
    EXPECT_EQ(block[3], c.flags);
    EXPECT_EQ(block[4], l1);
    EXPECT_EQ(block[5], l2);
    EXPECT_EQ(block[6], l3);
    EXPECT_EQ(Bytes(block, 7, l1), c.texts.caption);
    EXPECT_EQ(Bytes(block, 7 + l1, l2), c.texts.folder);
    EXPECT_EQ(Bytes(block, 7 + l1 + l2, l3), c.texts.command);
    for (size_t i = 7 + l1 + l2 + l3; i < 256; ++i) ASSERT_EQ(block[i], 0) << i;
  }
}

// Texts that the reader would run into the ZIP data, or whose length byte would wrap.
TEST(OptionBlockWriter, RefusesTextsThatDoNotFit) {
  const struct {
    OptionTexts texts;
    const char* named;
  } cases[] = {
      {{std::string(256, 'x'), "", ""}, "caption"},
      {{"", std::string(300, 'x'), ""}, "default folder"},
      {{"", "", std::string(256, 'x')}, "run command"},
      {{std::string(200, 'a'), std::string(50, 'b'), ""}, "249"},
      {{std::string(100, 'a'), std::string(100, 'b'), std::string(50, 'c')}, "249"},
  };
  for (const auto& c : cases) {
    OptionBlock block;
    std::string error;
    EXPECT_FALSE(BuildOptionBlock(0, c.texts, &block, &error));
    EXPECT_NE(error.find(c.named), std::string::npos) << error;
  }
  OptionBlock block;
  std::string error;
  EXPECT_TRUE(BuildOptionBlock(0, {std::string(249, 'a'), "", ""}, &block, &error))
      << "exactly 256 bytes fit";
}

}  // namespace
