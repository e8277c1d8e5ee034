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

const uint16_t kLengthBase[kLengthRows] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[kLengthRows] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[kDistanceRows] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[kDistanceRows] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void FreeHuffmanTables(HuffEntry* chain) {
  std::free(chain);
}

namespace {

// What the walk over the codes needs to know of a code set.
struct CodeSet {
  const uint32_t* count;  // codes of each length, the filler codes included
  uint32_t shortest, longest;
  uint32_t rootBits;       // the root width asked for, moved into [shortest, longest]
  const uint16_t* sorted;  // the symbols in canonical order
  uint32_t symbols;
  uint32_t simple;
  const uint16_t* base;
  const uint8_t* extra;
  uint32_t rows;
};

constexpr HuffEntry Entry(uint32_t kind, uint32_t bits, uint32_t codeBits, uint32_t value) {
  return HuffEntry{bits | codeBits << 8 | kind | value << 16};
}

// The entry of the symbol at `symbolIndex` in canonical order (beyond them: a filler code),
// whose code has `bits` bits at its table level.
HuffEntry EntryFor(const CodeSet& set, uint32_t symbolIndex, uint32_t bits) {
  constexpr uint32_t kInvalid = HuffEntry::kSpecial | HuffEntry::kInvalid;
  if (symbolIndex >= set.symbols) return Entry(kInvalid, bits, bits, 0);
  const uint32_t symbol = set.sorted[symbolIndex];
  if (symbol < set.simple) {
    return symbol < 256 ? Entry(HuffEntry::kLiteral, bits, bits, symbol)
                        : Entry(HuffEntry::kSpecial | HuffEntry::kEndOfBlock, bits, bits, 0);
  }
  const uint32_t row = symbol - set.simple;
  if (row >= set.rows) return Entry(kInvalid, bits, bits, 0);
  return Entry(0, bits + set.extra[row], bits, set.base[row]);
}

// Walks the codes in canonical order, opening the tables they need. With block null it only
// counts the entries the tables take; otherwise it lays the tables out in block in the order it
// opens them, the root first, links them and fills them. Returns the count.
//
// `code` is the current code bit-reversed (the order of table indexes). The root is
// set.rootBits wide; a sub-table is opened for the codes behind a root index as wide as they
// fill it completely, which is never wider than the longest code leaves, so it needs no
// sub-table of its own. `table` is the table being filled, `tableBits` its width and
// `resolved` the bits the root takes before it (0 while the root is filled); `prefix` is the
// root index that leads to it.
size_t WalkCodes(const CodeSet& set, HuffEntry* block) {
  HuffEntry* table = block;
  uint32_t tableBits = set.rootBits;
  uint32_t resolved = 0;
  uint32_t prefix = 0;
  uint32_t code = 0;
  uint32_t next = 0;  // index into sorted
  size_t used = size_t(1) << set.rootBits;
  const uint32_t rootMask = (uint32_t(1) << set.rootBits) - 1;
  for (uint32_t len = set.shortest; len <= set.longest; ++len) {
    for (uint32_t left = set.count[len]; left-- > 0;) {
      if (len > set.rootBits && (resolved == 0 || (code & rootMask) != prefix)) {
        // Open a sub-table: as wide as the codes that follow fill completely.
        resolved = set.rootBits;
        prefix = code & rootMask;
        const uint32_t limit = set.longest - resolved;
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
        tableBits = bits;
        const size_t at = used;
        used = at + (size_t(1) << bits);
        if (block) {
          table = block + at;
          block[prefix] =
              Entry(HuffEntry::kSpecial | HuffEntry::kLink, resolved, bits, uint32_t(at));
        }
      }

      const HuffEntry entry = EntryFor(set, next++, len - resolved);
      if (block) {
        const uint32_t size = uint32_t(1) << tableBits;
        const uint32_t step = uint32_t(1) << (len - resolved);
        for (uint32_t i = code >> resolved; i < size; i += step) table[i] = entry;
      }

      // Next code: add one to the bit-reversed len-bit counter.
      uint32_t bit = uint32_t(1) << (len - 1);
      while (code & bit) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;
    }
  }
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

  const CodeSet set{count, shortest, longest, *width, sorted, symbols, simple, base, extra, rows};
  const size_t entries = WalkCodes(set, nullptr);
  HuffEntry* block = static_cast<HuffEntry*>(DecoderMemory(entries * sizeof(HuffEntry)));
  if (!block) return kHuffNoMemory;
  WalkCodes(set, block);
  *root = *chain = block;
  return spare != 0 && longest != 1 ? kHuffIncomplete : kHuffComplete;
}
