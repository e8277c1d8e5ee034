// Two-level lookup tables for the prefix codes of deflate (RFC 1951 3.2.2).
//
// A code set becomes a root table indexed by the low `width` bits of the bit buffer (the next
// bit of the stream is bit 0); codes longer than the root width go on in sub-tables, each
// indexed by the bits that follow and wide enough for every code that goes through it, so no
// code needs a third level. The tables of one code set are laid out in one block, the root
// first: obtaining them is one allocation, and a link to a sub-table is its offset from the
// root.
#pragma once

#include <cstddef>
#include <cstdint>

// One table entry, a 32-bit word that the decoder loads whole:
//
//   bits 0-7    the bits the entry takes from the stream: the code's bits at this table level,
//               and for a length or distance its extra bits too, so one shift drops both
//   bits 8-11   the code's bits at this level, behind which a length's or distance's extra
//               bits begin; in a link, the width of the sub-table
//   bit 15      a literal byte (code-length code: the symbol 0..18) in Value
//   bit 14      no length or distance: bits 12-13 say what instead
//                 0 invalid code (symbols 286, 287, 30, 31; the filler of an incomplete code)
//                 1 end of block
//                 2 link: the code goes on in the sub-table at root + Value
//                 3 a length in a block whose distance code is empty
//   bits 16-31  Value: literal byte, symbol, base length or base distance, sub-table offset
//
// An entry with neither bit 15 nor bit 14 is a length or distance: Value plus the extra bits.
struct HuffEntry {
  uint32_t Word;

  uint32_t Bits() const { return Word & 0xFF; }
  uint32_t CodeBits() const { return (Word >> 8) & 0xF; }
  uint32_t Value() const { return Word >> 16; }
  bool IsLiteral() const { return (Word & kLiteral) != 0; }
  bool IsSpecial() const { return (Word & kSpecial) != 0; }
  uint32_t Special() const { return Word & kSpecialMask; }  // for an entry with IsSpecial()
  bool IsLink() const { return (Word & (kSpecial | kSpecialMask)) == (kSpecial | kLink); }
  // The bits that must be there before the entry can be trusted (the ones beyond read as 0).
  uint32_t NeededBits() const { return IsLink() ? Bits() : CodeBits(); }

  static constexpr uint32_t kLiteral = 1u << 15;
  static constexpr uint32_t kSpecial = 1u << 14;
  static constexpr uint32_t kSpecialMask = 3u << 12;
  static constexpr uint32_t kInvalid = 0u << 12, kEndOfBlock = 1u << 12, kLink = 2u << 12,
                            kNoDistances = 3u << 12;
};
static_assert(sizeof(HuffEntry) == 4, "one word per entry");

constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxCodeSymbols = 288;

// RFC 1951 3.2.5: base values and extra-bit counts of length symbols 257..285 and distance
// symbols 0..29. Symbols 286, 287, 30 and 31 have no row: their codes are invalid.
constexpr uint32_t kLengthRows = 29;
constexpr uint32_t kDistanceRows = 30;
extern const uint16_t kLengthBase[kLengthRows];
extern const uint8_t kLengthExtra[kLengthRows];
extern const uint16_t kDistanceBase[kDistanceRows];
extern const uint8_t kDistanceExtra[kDistanceRows];

enum HuffStatus : int {
  kHuffComplete = 0,
  kHuffIncomplete = 1,      // free patterns are left; they become invalid codes
  kHuffOversubscribed = 2,  // more codes than patterns: no table
  kHuffNoMemory = 3,        // a table could not be obtained: no table, nothing left allocated
};

// Builds the tables of one code set. lengths[0..n-1] are the code lengths (0 = symbol absent,
// at most kMaxCodeBits); symbols below `simple` stand for themselves (below 256 literals, 256
// the end of block), symbol `simple` + r takes row r of base/extra (rows beyond `rows` are
// invalid). *width is the requested root width on entry and the width used on return: the
// request moved into [shortest, longest code]. With no code at all: status complete, *root
// null, *width 0. The caller owns *chain, the block that holds the tables (also on the
// incomplete status), and releases it with FreeHuffmanTables; on the other statuses nothing is
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
