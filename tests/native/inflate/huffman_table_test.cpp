// The lookup tables against the canonical codes of RFC 1951 3.2.2: every bit pattern leads to
// the symbol whose code starts it, after exactly that code's length, or to an invalid entry
// when no code does. Table memory comes poisoned, so an entry the builder never wrote shows.
#include "unpacker/inflate/huffman_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

void* PoisonedAllocate(size_t size) {
  void* p = std::malloc(size);
  if (p) std::memset(p, 0xA5, size);
  return p;
}

struct Tables {
  HuffStatus status;
  HuffEntry* root;
  HuffEntry* chain;
  uint32_t width;
};

Tables Build(const std::vector<uint8_t>& lengths, uint32_t simple, uint32_t requested,
             bool distances = false) {
  Tables t{};
  t.width = requested;
  void* (*const previous)(size_t) = DecoderAllocate;
  DecoderAllocate = PoisonedAllocate;
  t.status = distances
                 ? BuildHuffmanTable(lengths.data(), uint32_t(lengths.size()), 0, kDistanceBase,
                                     kDistanceExtra, kDistanceRows, &t.root, &t.chain, &t.width)
                 : BuildHuffmanTable(lengths.data(), uint32_t(lengths.size()), simple, kLengthBase,
                                     kLengthExtra, kLengthRows, &t.root, &t.chain, &t.width);
  DecoderAllocate = previous;
  return t;
}

// Decodes the pattern (first bit in bit 0) through the tables: the final entry and the bits
// taken, or null when the walk meets an entry with an op the builder never writes.
const HuffEntry* Walk(const Tables& t, uint32_t pattern, uint32_t* taken) {
  const HuffEntry* e = &t.root[pattern & ((1u << t.width) - 1)];
  *taken = 0;
  while (e->Op > kOpLiteral && e->Op != kOpInvalid) {
    if (e->Op > kOpLiteral + 16) return nullptr;
    *taken += e->Bits;
    const uint32_t bits = e->Op - kOpLiteral;
    e += e->Next + ((pattern >> *taken) & ((1u << bits) - 1));
  }
  if (e->Op == 14) return nullptr;
  *taken += e->Bits;
  return e;
}

// Checks every pattern of `longest` bits against the canonical code.
void ExpectCanonical(const std::vector<uint8_t>& lengths, const Tables& t, bool distances) {
  const uint32_t simple = distances ? 0 : 257;
  uint32_t longest = 0;
  for (uint8_t l : lengths) longest = std::max<uint32_t>(longest, l);
  const std::vector<uint32_t> codes = CanonicalCodes(lengths);
  for (uint32_t pattern = 0; pattern < (1u << longest); ++pattern) {
    int symbol = -1;
    for (size_t s = 0; s < lengths.size() && symbol < 0; ++s) {
      uint32_t reversed = 0;  // the code's bits in stream order
      for (int b = 0; b < lengths[s]; ++b)
        reversed |= ((codes[s] >> b) & 1) << (lengths[s] - 1 - b);
      if (lengths[s] && (pattern & ((1u << lengths[s]) - 1)) == reversed) symbol = int(s);
    }
    uint32_t taken;
    const HuffEntry* e = Walk(t, pattern, &taken);
    ASSERT_NE(e, nullptr) << "an entry left unwritten, pattern " << pattern;
    if (symbol < 0) {
      EXPECT_EQ(e->Op, kOpInvalid) << "pattern " << pattern;
      continue;
    }
    ASSERT_EQ(taken, lengths[symbol]) << "pattern " << pattern;
    if (uint32_t(symbol) < simple) {
      EXPECT_EQ(e->Op, symbol < 256 ? kOpLiteral : kOpEndOfBlock);
      EXPECT_EQ(e->Value, symbol);
    } else if (distances ? symbol < int(kDistanceRows) : symbol - simple < kLengthRows) {
      EXPECT_EQ(e->Op, distances ? kDistanceExtra[symbol] : kLengthExtra[symbol - simple]);
      EXPECT_EQ(e->Value, distances ? kDistanceBase[symbol] : kLengthBase[symbol - simple]);
    } else {
      EXPECT_EQ(e->Op, kOpInvalid) << "a symbol without a row";
    }
  }
}

// Random complete and incomplete codes of up to 15 bits over up to 288 symbols.
TEST(HuffmanTable, EveryPatternDecodesAsTheCanonicalCode) {
  std::mt19937 random(42);
  int complete = 0, incomplete = 0;
  for (int round = 0; round < 300; ++round) {
    const uint32_t n = 2 + random() % 287;
    std::vector<uint8_t> lengths(n, 0);
    // Build a complete code by splitting leaves, then maybe drop some codes.
    std::vector<uint8_t> leaves = {1, 1};
    const uint32_t codes = std::min<uint32_t>(n, 2 + random() % n);
    while (leaves.size() < codes) {
      const size_t i = random() % leaves.size();
      if (leaves[i] >= 15) continue;
      ++leaves[i];
      leaves.push_back(leaves[i]);
    }
    for (uint8_t l : leaves) {
      uint32_t s;
      do s = random() % n;
      while (lengths[s] != 0);
      lengths[s] = l;
    }
    if (random() % 3 == 0)
      for (auto& l : lengths)
        if (random() % 4 == 0) l = 0;
    const Tables t = Build(lengths, 257, 1 + random() % 12);
    if (t.root == nullptr) continue;  // no code left
    ASSERT_NE(t.status, kHuffOversubscribed);
    (t.status == kHuffComplete ? complete : incomplete)++;
    ExpectCanonical(lengths, t, false);
    FreeHuffmanTables(t.chain);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(complete, 50);
  EXPECT_GT(incomplete, 20);
}

// The root widths the decoder's look-ahead depends on.
struct WidthCase {
  const char* name;
  std::vector<uint8_t> lengths;
  uint32_t requested;
  uint32_t width;
  HuffStatus status;
  friend void PrintTo(const WidthCase& c, std::ostream* os) { *os << c.name; }
};

class RootWidth : public ::testing::TestWithParam<WidthCase> {};

TEST_P(RootWidth, IsTheRequestedOneMovedAndCut) {
  const WidthCase& c = GetParam();
  const Tables t = Build(c.lengths, 257, c.requested, c.lengths.size() <= 32);
  EXPECT_EQ(t.width, c.width);
  EXPECT_EQ(t.status, c.status);
  if (t.root) ExpectCanonical(c.lengths, t, c.lengths.size() <= 32);
  FreeHuffmanTables(t.chain);
}

std::vector<uint8_t> FixedLiteralLengths() {
  std::vector<uint8_t> l(288, 8);
  for (int s = 144; s < 256; ++s) l[s] = 9;
  for (int s = 256; s < 280; ++s) l[s] = 7;
  return l;
}

// A complete literal/length code whose end code has `endLength` bits: 255 literals of 8
// bits and the rest filled up with 9-bit (end code 10: with two 10-bit) codes.
std::vector<uint8_t> EndCodeOf(uint8_t endLength) {
  std::vector<uint8_t> l(258, 0);
  if (endLength == 10) {
    for (int s = 0; s < 255; ++s) l[s] = 8;
    l[255] = 9;
    l[256] = l[257] = 10;
  } else {  // 6 bits: 247 codes of 8 bits and 10 of 9 fill the other 63/64
    for (int s = 0; s < 247; ++s) l[s] = 8;
    for (int s = 247; s < 256; ++s) l[s] = 9;
    l[257] = 9;
    l[256] = 6;
  }
  return l;
}

INSTANTIATE_TEST_SUITE_P(
    Widths, RootWidth,
    ::testing::Values(
        WidthCase{"FixedLiterals", FixedLiteralLengths(), 7, 7, kHuffComplete},
        WidthCase{"FixedDistances", std::vector<uint8_t>(30, 5), 5, 5, kHuffIncomplete},
        WidthCase{"RaisedToTheShortestCode", std::vector<uint8_t>(30, 5), 2, 5, kHuffIncomplete},
        WidthCase{"LoweredToTheLongestCode", std::vector<uint8_t>(32, 5), 6, 5, kHuffComplete},
        // Never widened past the request: the 4-bit codes go to sub-tables.
        WidthCase{
            "RequestEqualToTheShortestCode", {3, 3, 3, 3, 3, 3, 3, 4, 4}, 3, 3, kHuffComplete},
        // A table ends right behind the end code: a short one cuts the root below the request.
        WidthCase{"CutAtTheEndCode", EndCodeOf(6), 9, 6, kHuffComplete},
        WidthCase{"LongEndCodeKeepsTheRequest", EndCodeOf(10), 9, 9, kHuffComplete},
        WidthCase{"SingleCodeOfOneBit", {1}, 6, 1, kHuffComplete},
        WidthCase{"SingleCodeOfTwoBits", {0, 2}, 6, 2, kHuffIncomplete}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
