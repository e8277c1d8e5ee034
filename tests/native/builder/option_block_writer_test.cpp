// The block's bytes are checked end to end in mksfx_test; here the texts it refuses.
#include "builder/option_block_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mksfx::BuildOptionBlock;
using mksfx::OptionBlock;
using mksfx::OptionTexts;

// Texts that the reader would run into the ZIP data, or whose length byte would wrap.
TEST(OptionBlockWriter, RefusesTextsThatDoNotFit) {
  const std::pair<OptionTexts, const char*> cases[] = {
      {{std::string(256, 'x'), "", ""}, "caption"},
      {{"", std::string(300, 'x'), ""}, "default folder"},
      {{"", "", std::string(256, 'x')}, "run command"},
      {{std::string(100, 'a'), std::string(100, 'b'), std::string(50, 'c')}, "249"},
  };
  OptionBlock block;
  std::string error;
  for (const auto& [texts, named] : cases) {
    EXPECT_FALSE(BuildOptionBlock(0, texts, &block, &error));
    EXPECT_NE(error.find(named), std::string::npos) << error;
  }
  EXPECT_TRUE(BuildOptionBlock(0, {std::string(249, 'a'), "", ""}, &block, &error))
      << "exactly 256 bytes fit";
}

}  // namespace
