// The lookup tables against canonical codes: every bit pattern leads to the symbol whose code
// starts it, after exactly that code's length, or to an invalid entry when no code does. Table
// memory comes poisoned, so an entry the builder never wrote shows.
#include "unpacker/inflate/huffman_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

// Builds literal/length tables (distance tables when `distances`), checks every pattern of the
// longest code's bits against the canonical code, and returns the status and root width.
std::pair<HuffStatus, uint32_t> BuildAndCheck(const std::vector<uint8_t>& lengths, uint32_t width,
                                              bool distances = false) {
  const uint32_t simple = distances ? 0 : 257, rows = distances ? kDistanceRows : kLengthRows;
  const uint16_t* base = distances ? kDistanceBase : kLengthBase;
  const uint8_t* extra = distances ? kDistanceExtra : kLengthExtra;
  HuffEntry *root, *chain;
  void* (*const previous)(size_t) = DecoderAllocate;
  DecoderAllocate = [](size_t size) {
    void* p = std::malloc(size);
    return p ? std::memset(p, 0xA5, size) : p;
  };
  const HuffStatus status = BuildHuffmanTable(lengths.data(), uint32_t(lengths.size()), simple,
                                              base, extra, rows, &root, &chain, &width);
  DecoderAllocate = previous;
  if (!root) return {status, width};
  const uint32_t longest = *std::max_element(lengths.begin(), lengths.end());
  const std::vector<uint32_t> codes = CanonicalCodes(lengths);
  // The symbol whose code, in stream order, starts each pattern of `longest` bits.
  std::vector<int> symbols(1u << longest, -1);
  for (size_t s = 0; s < lengths.size(); ++s) {
    uint32_t reversed = 0;
    for (int b = 0; b < lengths[s]; ++b) reversed |= ((codes[s] >> b) & 1) << (lengths[s] - 1 - b);
    for (uint32_t p = reversed; lengths[s] && p < symbols.size(); p += 1u << lengths[s])
      symbols[p] = int(s);
  }
  for (uint32_t pattern = 0; pattern < symbols.size() && !testing::Test::HasFailure(); ++pattern) {
    const int symbol = symbols[pattern];
    const HuffEntry* e = &root[pattern & ((1u << width) - 1)];
    uint32_t taken = 0;
    while (e->Op > kOpLiteral && e->Op <= kOpLiteral + 16) {
      taken += e->Bits;
      e += e->Next + ((pattern >> taken) & ((1u << (e->Op - kOpLiteral)) - 1));
    }
    taken += e->Bits;
    EXPECT_TRUE(e->Op <= 13 || e->Op == kOpEndOfBlock || e->Op == kOpLiteral || e->Op == kOpInvalid)
        << "an entry left unwritten, pattern " << pattern;
    if (symbol < 0) {
      EXPECT_EQ(e->Op, kOpInvalid) << "pattern " << pattern;
      continue;
    }
    EXPECT_EQ(taken, lengths[symbol]) << "pattern " << pattern;
    if (uint32_t(symbol) < simple) {
      EXPECT_EQ(e->Op, symbol < 256 ? kOpLiteral : kOpEndOfBlock);
      EXPECT_EQ(e->Value, symbol);
    } else if (symbol - simple < rows) {
      EXPECT_EQ(e->Op, extra[symbol - simple]);
      EXPECT_EQ(e->Value, base[symbol - simple]);
    } else {
      EXPECT_EQ(e->Op, kOpInvalid) << "a symbol without a row";
    }
  }
  FreeHuffmanTables(chain);
  return {status, width};
}

// Random complete and incomplete codes of up to 15 bits over up to 288 symbols.
TEST(HuffmanTable, EveryPatternDecodesAsTheCanonicalCode) {
  std::mt19937 random(42);
  int statuses[4] = {};
  for (int round = 0; round < 300 && !HasFailure(); ++round) {
    const uint32_t n = 2 + random() % 287;
    // A complete code made by splitting leaves, then maybe some codes dropped.
    std::vector<uint8_t> leaves = {1, 1}, lengths(n, 0);
    while (leaves.size() < std::min<uint32_t>(n, 2 + random() % n)) {
      const size_t i = random() % leaves.size();
      if (leaves[i] < 15) leaves.push_back(++leaves[i]);
    }
    std::copy(leaves.begin(), leaves.end(), lengths.begin());
    std::shuffle(lengths.begin(), lengths.end(), random);
    if (random() % 3 == 0)
      for (auto& l : lengths)
        if (random() % 4 == 0) l = 0;
    if (*std::max_element(lengths.begin(), lengths.end()) == 0) continue;
    ++statuses[BuildAndCheck(lengths, 1 + random() % 12).first];
  }
  EXPECT_GT(statuses[kHuffComplete], 50);
  EXPECT_GT(statuses[kHuffIncomplete], 20);
  EXPECT_EQ(statuses[kHuffOversubscribed] + statuses[kHuffNoMemory], 0);
}

// A complete literal/length code whose end code has 6 or 10 bits.
std::vector<uint8_t> EndCodeOf(uint8_t endLength) {
  std::vector<uint8_t> l(258, 8);
  const size_t nines = endLength == 10 ? 1 : 9;
  std::fill(l.begin() + 256 - nines, l.begin() + 256, 9);
  l[256] = endLength;
  l[257] = endLength == 10 ? 10 : 9;
  return l;
}

// The root widths the decoder's look-ahead depends on: the request, moved to the shortest and
// longest code, and cut behind a short end code.
TEST(HuffmanTable, RootWidthIsTheRequestMovedAndCut) {
  const struct {
    const char* name;
    std::vector<uint8_t> lengths;
    uint32_t requested, width;
    HuffStatus status;
  } cases[] = {
      {"RaisedToTheShortestCode", std::vector<uint8_t>(30, 5), 2, 5, kHuffIncomplete},
      {"LoweredToTheLongestCode", std::vector<uint8_t>(32, 5), 6, 5, kHuffComplete},
      // Never widened past the request: the 4-bit codes go to sub-tables.
      {"RequestEqualToTheShortestCode", {3, 3, 3, 3, 3, 3, 3, 4, 4}, 3, 3, kHuffComplete},
      {"CutAtTheEndCode", EndCodeOf(6), 9, 6, kHuffComplete},
      {"LongEndCodeKeepsTheRequest", EndCodeOf(10), 9, 9, kHuffComplete},
      {"SingleCodeOfOneBit", {1}, 6, 1, kHuffComplete},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [status, width] = BuildAndCheck(c.lengths, c.requested, c.lengths.size() <= 32);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(status, c.status);
  }
}

}  // namespace
