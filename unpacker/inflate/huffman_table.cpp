#include "unpacker/inflate/huffman_table.h"

#include <cstdlib>

#include "unpacker/container/run_outcome.h"

namespace {
void* HeapAllocate(size_t size) {
  return std::malloc(size);
}
}  // namespace

void* (*DecoderAllocate)(size_t size) = HeapAllocate;

void* DecoderMemory(size_t size) {
  void* memory = DecoderAllocate(size);
  if (!memory) Outcome.OutOfMemory = true;
  return memory;
}

const uint16_t kLengthBase[kLengthRows] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                           17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                           99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint8_t kLengthExtra[kLengthRows] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                           3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t kDistanceBase[kDistanceRows] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[kDistanceRows] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void FreeHuffmanTables(HuffEntry* chain) {
  if (!chain) return;
  HuffEntry* hidden = chain - 1;
  while (hidden->Next != 0) hidden = hidden + hidden->Next - 1;
  std::free(hidden);  // the root's hidden entry starts the block that holds the whole set
}

namespace {

// What the walk over the codes needs to know of a code set.
struct CodeSet {
  const uint32_t* count;  // codes of each length, the filler codes included
  uint32_t shortest, longest;
  uint32_t limit;          // the root width asked for, moved into [shortest, longest]
  uint32_t endCodeLength;  // a table boundary falls right behind the end-of-block code
  const uint16_t* sorted;  // the symbols in canonical order
  uint32_t symbols;
  uint32_t simple;
  const uint16_t* base;
  const uint8_t* extra;
  uint32_t rows;
};

HuffEntry EntryFor(const CodeSet& set, uint32_t symbolIndex, uint32_t bits) {
  HuffEntry entry{kOpInvalid, uint8_t(bits), 0, 0};
  if (symbolIndex < set.symbols) {
    const uint32_t symbol = set.sorted[symbolIndex];
    if (symbol < set.simple) {
      entry.Op = symbol < 256 ? kOpLiteral : kOpEndOfBlock;
      entry.Value = uint16_t(symbol);
    } else if (symbol - set.simple < set.rows) {
      entry.Op = set.extra[symbol - set.simple];
      entry.Value = set.base[symbol - set.simple];
    }
  }
  return entry;
}

// Walks the codes in canonical order, opening the tables they need. With block null it only
// counts the entries the tables take (hidden entries included); otherwise it lays the tables
// out in block in the order it opens them, links them and fills them. Returns the count and
// sets the root width and the newest table.
//
// `code` is the current code bit-reversed (the order of table indexes); level h's table is
// tables[h], tableBits[h + 1] bits wide, and `resolved` counts the bits taken by the levels
// above it. levelCode[h] is the code prefix for which level h's table was opened, so the walk
// sees when a code leaves that table.
size_t WalkCodes(const CodeSet& set, HuffEntry* block, uint32_t* rootBits, HuffEntry** newest) {
  HuffEntry* tables[kMaxCodeBits + 1] = {};
  uint32_t tableBits[kMaxCodeBits + 2];
  uint32_t levelCode[kMaxCodeBits + 1];
  tableBits[0] = 0;  // the level above the root
  levelCode[0] = 0;
  int h = -1;
  uint32_t resolved = 0;
  uint32_t code = 0;
  uint32_t next = 0;  // index into sorted
  size_t used = 0;
  HuffEntry* last = nullptr;
  for (uint32_t len = set.shortest; len <= set.longest; ++len) {
    for (uint32_t left = set.count[len]; left-- > 0;) {
      while (len > resolved + tableBits[h + 1]) {
        // Open a table at the next level: as wide as the codes that follow fill completely,
        // never wider than the limit.
        resolved += tableBits[h + 1];
        ++h;
        const uint32_t limit =
            set.longest - resolved < set.limit ? set.longest - resolved : set.limit;
        uint32_t bits = len - resolved;
        uint32_t patterns = uint32_t(1) << bits;
        if (patterns > left + 1 && bits < limit) {
          patterns -= left + 1;
          while (++bits < limit) {
            patterns *= 2;
            if (patterns <= set.count[resolved + bits]) break;
            patterns -= set.count[resolved + bits];
          }
        }
        if (resolved + bits > set.endCodeLength && resolved < set.endCodeLength)
          bits = set.endCodeLength - resolved;
        tableBits[h + 1] = bits;
        const uint32_t resolvedMask = (uint32_t(1) << resolved) - 1;
        levelCode[h] = code & resolvedMask;

        const size_t at = used + 1;
        used = at + (size_t(1) << bits);
        if (!block) continue;
        HuffEntry* table = block + at;
        table[-1] = HuffEntry{0, 0, 0, last ? int32_t(last - (table - 1)) : 0};
        last = tables[h] = table;
        if (h > 0) {
          const uint32_t parentBits = tableBits[h];
          const uint32_t index = (code & resolvedMask) >> (resolved - parentBits);
          HuffEntry* link = &tables[h - 1][index];
          *link =
              HuffEntry{uint8_t(kOpLiteral + bits), uint8_t(parentBits), 0, int32_t(table - link)};
        }
      }

      const HuffEntry entry = EntryFor(set, next++, len - resolved);
      if (block) {
        const uint32_t size = uint32_t(1) << tableBits[h + 1];
        const uint32_t step = uint32_t(1) << (len - resolved);
        for (uint32_t i = code >> resolved; i < size; i += step) tables[h][i] = entry;
      }

      // Next code: add one to the bit-reversed len-bit counter.
      uint32_t bit = uint32_t(1) << (len - 1);
      while (code & bit) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;

      // Back out of the tables that this code completed.
      while ((code & ((uint32_t(1) << resolved) - 1)) != levelCode[h]) {
        --h;
        resolved -= tableBits[h + 1];
      }
    }
  }
  *rootBits = tableBits[1];
  *newest = last;
  return used;
}

}  // namespace

HuffStatus BuildHuffmanTable(const uint8_t* lengths, uint32_t n, uint32_t simple,
                             const uint16_t* base, const uint8_t* extra, uint32_t rows,
                             HuffEntry** root, HuffEntry** chain, uint32_t* width) {
  *root = nullptr;
  *chain = nullptr;

  uint32_t count[kMaxCodeBits + 1] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  if (count[0] == n) {
    *width = 0;
    return kHuffComplete;
  }
  uint32_t shortest = 1;
  while (count[shortest] == 0) ++shortest;
  uint32_t longest = kMaxCodeBits;
  while (count[longest] == 0) --longest;
  if (*width < shortest) *width = shortest;
  if (*width > longest) *width = longest;

  // Kraft: patterns left free at each length. The ones left at the longest length become
  // filler codes, so every entry of every table gets written.
  int32_t spare = int32_t(1) << shortest;
  for (uint32_t len = shortest; len < longest; ++len) {
    spare -= int32_t(count[len]);
    if (spare < 0) return kHuffOversubscribed;
    spare *= 2;
  }
  spare -= int32_t(count[longest]);
  if (spare < 0) return kHuffOversubscribed;
  count[longest] += uint32_t(spare);

  // Symbols sorted by code length, then by value: the order of canonical codes.
  uint32_t offset[kMaxCodeBits + 2];
  offset[1] = 0;
  for (uint32_t len = 1; len < longest; ++len) offset[len + 1] = offset[len] + count[len];
  uint16_t sorted[kMaxCodeSymbols];
  uint32_t symbols = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] != 0) {
      sorted[offset[lengths[i]]++] = uint16_t(i);
      ++symbols;
    }
  }

  const CodeSet set{count,  shortest, longest, *width, n > 256 ? lengths[256] : kMaxCodeBits,
                    sorted, symbols,  simple,  base,   extra,
                    rows};
  HuffEntry* newest;
  const size_t entries = WalkCodes(set, nullptr, width, &newest);
  HuffEntry* block = static_cast<HuffEntry*>(DecoderMemory(entries * sizeof(HuffEntry)));
  if (!block) return kHuffNoMemory;
  WalkCodes(set, block, width, &newest);
  *root = block + 1;
  *chain = newest;
  return spare != 0 && longest != 1 ? kHuffIncomplete : kHuffComplete;
}
