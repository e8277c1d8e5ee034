// Multi-level lookup tables for the prefix codes of deflate (RFC 1951 3.2.2).
//
// A code set becomes a root table indexed by the low `width` bits of the bit buffer (the next
// bit of the stream is bit 0); codes longer than the root width go on in sub-tables, each
// indexed by the bits that follow. Every table of a code set has one hidden entry in front of
// it whose Next leads to the table built before it, so the tables form a chain from the newest
// to the oldest (the root), which FreeHuffmanTables walks. The tables of one code set are laid
// out in one block, in the order they are built, so the links between them are short offsets
// and the entries stay 8 bytes wide on every platform; obtaining them is one allocation.
#pragma once

#include <cstddef>
#include <cstdint>

// One table entry, 8 bytes (fields in this order):
//
//   byte 0     Op     0..13   a length or distance: base Value plus Op extra bits
//                     15      end of block
//                     16      literal byte Value (code-length code: the symbol 0..18)
//                     17..32  the code goes on in the sub-table at Next, indexed by the next
//                             Op - 16 bits
//                     99      invalid code (symbols 286, 287, 30, 31; filler codes)
//   byte 1     Bits   bits of the code consumed at this table level
//   bytes 2-3  Value  literal byte, symbol, base length or base distance
//   bytes 4-7  Next   the table this entry leads to, as an offset in entries from the entry
//                     itself: a sub-table for Op 17..32; in a hidden entry, the older table
//                     (0 in the root's hidden entry: the end of the chain)
struct HuffEntry {
  uint8_t Op;
  uint8_t Bits;
  uint16_t Value;
  int32_t Next;
};
static_assert(sizeof(HuffEntry) == 8 && offsetof(HuffEntry, Op) == 0 &&
                  offsetof(HuffEntry, Bits) == 1 && offsetof(HuffEntry, Value) == 2 &&
                  offsetof(HuffEntry, Next) == 4,
              "the layout documented above");

constexpr uint8_t kOpEndOfBlock = 15;
constexpr uint8_t kOpLiteral = 16;
constexpr uint8_t kOpInvalid = 99;

constexpr uint32_t kMaxCodeBits = 16;  // lengths BuildHuffmanTable handles (streams carry 15)
constexpr uint32_t kMaxCodeSymbols = 288;

// RFC 1951 3.2.5: base values and extra-bit counts of length symbols 257..287 and distance
// symbols 0..29. Symbols 286 and 287 have rows with the invalid op; 30 and 31 have none.
constexpr uint32_t kLengthRows = 31;
constexpr uint32_t kDistanceRows = 30;
extern const uint16_t kLengthBase[kLengthRows];
extern const uint8_t kLengthExtra[kLengthRows];
extern const uint16_t kDistanceBase[kDistanceRows];
extern const uint8_t kDistanceExtra[kDistanceRows];
static_assert(257 + kLengthRows == kMaxCodeSymbols, "a row for every literal/length symbol");

enum HuffStatus : int {
  kHuffComplete = 0,
  kHuffIncomplete = 1,      // free patterns are left; they become invalid (Op 99) codes
  kHuffOversubscribed = 2,  // more codes than patterns: no table
  kHuffNoMemory = 3,        // a table could not be obtained: no table, nothing left allocated
};

// Builds the tables of one code set. lengths[0..n-1] are the code lengths (0 = symbol absent,
// at most kMaxCodeBits); symbols below `simple` stand for themselves (below 256 literals, 256
// the end of block), symbol `simple` + r takes row r of base/extra (rows beyond `rows` are
// invalid). *width is the requested root width on entry and the width used on return. With no
// code at all: status complete, *root null, *width 0. The caller owns *chain (also on the
// incomplete status) and releases it with FreeHuffmanTables; on the other statuses nothing is
// left allocated and *chain is null.
HuffStatus BuildHuffmanTable(const uint8_t* lengths, uint32_t n, uint32_t simple,
                             const uint16_t* base, const uint8_t* extra, uint32_t rows,
                             HuffEntry** root, HuffEntry** chain, uint32_t* width);

void FreeHuffmanTables(HuffEntry* chain);

// Where the decoders obtain their buffers and tables; released with free(). malloc unless a
// test swaps in an allocator that fails or hands out poisoned memory.
extern void* (*DecoderAllocate)(size_t size);

// A buffer or table from DecoderAllocate. A failure is recorded in Outcome: the entry fails,
// and the run ends with the exit code for "not enough memory".
void* DecoderMemory(size_t size);
