// The deflate decoder (RFC 1951): one entry at a time, read from the program file in pieces of
// at most 32768 bytes, handed to FlushWindow in windows of 32768 bytes.
//
// Two ways through the codes decode the same symbols. SlowSymbol takes bits one byte at a time
// through NeedBits and DumpBits, in the order RFC 1951 lays them out; it runs near the end of
// an input piece, where a look-ahead may need the next piece or find the end of the entry's
// data. FastCodes runs everywhere else: a word-wide bit buffer refilled without branches by one
// load, the next table entry looked up while the current one is used, several literals per
// refill, matches copied a word at a time. Both stop at the same window boundaries, so reads,
// writes, flushes and cancel points are those of a byte-by-byte decoder.
#include "unpacker/inflate/inflate.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/user_interface.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/huffman_table.h"
#include "unpacker/inflate/output_window.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/resources/messages.h"

InflateOutcome LastInflateOutcome = InflateOutcome::Complete;

namespace {

// The bit buffer is a machine word: 64 bits where registers are that wide, 32 elsewhere.
using BitWord = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr uint32_t kWordBits = sizeof(BitWord) * 8;

constexpr uint32_t kWindowSize = kPieceSize;
constexpr uint32_t kHistorySize = 32768;  // RFC 1951 3.2.5: distances reach back 32768 bytes
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kCopyOverrun = 32;  // CopyMatch may write this far past a match's end
// Output memory: history, then several windows, so the 32 KiB of history move to the front
// once per kWindowsPerBuffer windows rather than after every flush.
constexpr uint32_t kWindowsPerBuffer = 4;
constexpr uint32_t kWindowsEnd = kHistorySize + kWindowsPerBuffer * kWindowSize;
constexpr uint32_t kOutputBufferSize = kWindowsEnd + kMaxMatch + kCopyOverrun;
static_assert(kHistorySize == kWindowSize, "a window's flush leaves exactly one history behind");

// FastCodes starts a round of symbols only with this many unread bytes in the piece. Its
// refills load a word at the read position (one per round on 64-bit hosts, up to three on
// 32-bit ones, each advancing at most sizeof(BitWord) - 1 bytes), so they stay inside the
// piece; and a round's bits (at most 48) plus a look-ahead of at most 16 bits stay inside it, so
// no code is decoded there that would have made a byte-by-byte reader fetch the next piece.
constexpr uint32_t kFastInputMargin = kWordBits >= 64 ? 8 : 12;
static_assert(8 * kFastInputMargin >= 15 + 5 + 15 + 13 + 16, "look-ahead stays in the piece");
constexpr uint32_t kRefillsPerRound = kWordBits >= 64 ? 1 : 3;
static_assert(kFastInputMargin >= (kRefillsPerRound - 1) * (sizeof(BitWord) - 1) + sizeof(BitWord),
              "the loads of a round's refills stay in the piece");

constexpr uint32_t kCodeLengthCodes = 19;
constexpr uint32_t kMaxDistanceCodes = 32;
// Code lengths of a dynamic block: nl <= 257 + 31 literal/length codes, nd <= 1 + 31 distances.
constexpr uint32_t kMaxLengths = kMaxCodeSymbols + kMaxDistanceCodes;
static_assert(kMaxLengths == 320 && 257 + 31 == kMaxCodeSymbols && 1 + 31 == kMaxDistanceCodes);

// RFC 1951 3.2.7: the order in which the code-length code's lengths are stored.
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// Requested root widths: dynamic literal/length, distance and code-length codes; fixed codes.
// Wide roots send few codes of real data through a sub-table; the fixed codes fit whole.
constexpr uint32_t kLiteralRootBits = 10;
constexpr uint32_t kDistanceRootBits = 8;
constexpr uint32_t kCodeLengthRootBits = 7;
constexpr uint32_t kFixedLiteralRootBits = 9;
constexpr uint32_t kFixedDistanceRootBits = 5;

// After a refill the bit buffer holds at least kWordBits - 8 bits. With 64 of them one refill
// covers a round of FastCodes: a length and a distance with their extra bits, or three
// literals and the root lookup of the code behind them. With 32, a refill comes before every
// lookup, and before a distance's extra bits when its code and they need more than that.
static_assert(kWordBits < 64 || kWordBits - 8 >= 15 + 5 + 15 + 13, "a length and a distance");
static_assert(kWordBits < 64 || kWordBits - 8 >= 3 * 15 + kLiteralRootBits, "three literals");
static_assert(kWordBits - 8 >= 15 + 5 && kWordBits - 8 >= 15 && kWordBits - 8 >= 13,
              "a length code, a distance code, a distance's extra bits");
static_assert(kFixedLiteralRootBits <= kLiteralRootBits, "the fixed code takes the same rounds");

// SlowSymbol looks this many bits ahead before it looks a code up (fewer for a narrower root),
// and fetches more only for a code that needs them: most codes of real data are decoded with
// one look-ahead. Never further than the block's end code is long: the end of the stream is
// then found without a look for bits behind it, so an archive whose last entry claims more data
// than the file holds still decodes to its end.
constexpr uint32_t kLookAheadBits = 9;

// The codes of a block, as the symbol decoders take them.
struct BlockCodes {
  const HuffEntry* literals;   // the literal/length code's root
  const HuffEntry* distances;  // the distance code's root, kNoDistanceCode without codes
  uint32_t literalBits;        // root widths
  uint32_t distanceBits;
  uint32_t lookAhead;  // SlowSymbol's look-ahead: kLookAheadBits or less
};

// The distance "table" of a block without distance codes: any length ends the entry.
constexpr HuffEntry kNoDistanceCode[1] = {{HuffEntry::kSpecial | HuffEntry::kNoDistances}};

// The decoder state: one record for the whole program. InflateEntry resets it and takes the
// two buffers, which are kept from entry to entry until ReleaseDecoderMemory (an archive of
// small files then costs no allocation per file); nothing else carries over, and no match
// reaches before FirstByte, so an earlier entry's bytes in the buffers are never read.
//
//   InputBuffer  the current piece of the entry's data (at most 32768 bytes), decrypted
//   InputPos     the next byte of InputBuffer not yet taken into BitBuffer
//   InputFill    the number of bytes the last read put into InputBuffer
//   BitBuffer    pending input bits, the next bit of the stream in bit 0; a new byte enters
//                shifted left by BitCount. Outside FastCodes the bits above BitCount are 0.
//   BitCount     valid bits in BitBuffer
//   Output       kOutputBufferSize bytes: 32768 bytes of history, kWindowsPerBuffer windows,
//                and room for a match copy to overrun the last window
//   Window       the 32768-byte window being filled, inside Output; WindowPos = Out - Window
//   Out          the next output byte
//   FirstByte    the entry's earliest byte still in Output; no match may reach before it
//   Fixed...     the fixed code's tables (root, chain, root width), built by the entry's first
//                fixed block and reused by its later ones
struct DecoderState {
  uint8_t* InputBuffer;
  uint32_t InputPos;
  uint32_t InputFill;
  BitWord BitBuffer;
  uint32_t BitCount;
  uint8_t* Output;
  uint8_t* Window;
  uint8_t* Out;
  uint8_t* FirstByte;
  HuffEntry* FixedLiteralTable;
  HuffEntry* FixedLiteralChain;
  uint32_t FixedLiteralBits;
  HuffEntry* FixedDistanceTable;
  HuffEntry* FixedDistanceChain;
  uint32_t FixedDistanceBits;
};
DecoderState S;

// How a step of decoding ended.
enum class Step : uint8_t {
  Continue,    // go on with the next symbol
  WindowFull,  // the window is full: flush before the next symbol
  EndOfBlock,
  Stopped,  // CancelRequested was seen
  Failed,   // the entry ends without a flush; LastInflateOutcome says why
};

Step Fail(InflateOutcome why) {
  LastInflateOutcome = why;
  return Step::Failed;
}

inline BitWord Mask(uint32_t n) {
  return (BitWord(1) << n) - 1;
}

inline BitWord LoadWord(const uint8_t* p) {
  BitWord v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    BitWord swapped = 0;
    for (uint32_t i = 0; i < sizeof v; ++i) swapped |= BitWord(p[i]) << (8 * i);
    v = swapped;
  }
  return v;
}

// ---- Input ------------------------------------------------------------------------------

// The next byte of the entry's data, 0..255, or -1 when none can be had (cancel, the entry's
// data used up, or a read that gave nothing). Reads the next piece when the current one is
// used up: min(EntryRemaining, 32768) bytes, decrypted in place (DecryptEntryData).
int NextByte() {
  if (CancelRequested) {
    EntryRemaining = 0;
    S.InputFill = 0;
    return -1;
  }
  if (EntryRemaining <= 0) {
    S.InputFill = 0;
    return -1;
  }
  if (S.InputPos >= S.InputFill) {
    const uint32_t want = EntryRemaining < kPieceSize ? uint32_t(EntryRemaining) : kPieceSize;
    uint32_t got = 0;
    ReadArchive(S.InputBuffer, want, &got);
    if (got > want) got = want;
    S.InputFill = got;
    DecryptEntryData(S.InputBuffer, got);
    S.InputPos = 0;
    if (got == 0) return -1;
  }
  --EntryRemaining;
  return S.InputBuffer[S.InputPos++];
}

// NeedBits' loop: bytes into the bit buffer until it holds n bits or the data ends.
[[gnu::noinline]] void FetchBits(uint32_t n) {
  while (S.BitCount < n) {
    const int c = NextByte();
    if (c < 0) {
      if (EntryRemaining > 0) CancelRequested = ArchiveEndedEarly = true;
      return;
    }
    S.BitBuffer |= BitWord(c) << S.BitCount;
    S.BitCount += 8;
  }
}

// Makes n (<= 16) bits available. When the data ends first it returns with fewer; the missing
// high bits read as 0. A read that gives nothing while the entry has data left means the
// archive ended early: that sets CancelRequested and ArchiveEndedEarly. Mostly the bits are
// there already, which takes one comparison.
inline void NeedBits(uint32_t n) {
  if (S.BitCount < n) FetchBits(n);
}

// Drops n bits; false when fewer are there: the code ran past the end of the entry's data.
[[nodiscard]] bool DumpBits(uint32_t n) {
  if (n > S.BitCount) return false;
  S.BitBuffer >>= n;
  S.BitCount -= n;
  return true;
}

inline uint32_t PeekBits(uint32_t n) {
  return uint32_t(S.BitBuffer & Mask(n));
}

// ---- Output -----------------------------------------------------------------------------

// Hands the full window to FlushWindow and moves on to the next one. False when the message
// step of the flush brought a cancel: the bytes of a match that ran past the window end are
// dropped then, as a copy that stops at the window end would never have written them.
bool WindowFull() {
  FlushWindow(S.Window, kWindowSize);
  uint8_t* next = S.Window + kWindowSize;
  if (CancelRequested) {
    S.Window = S.Out = next;
    return false;
  }
  if (next + kWindowSize > S.Output + kWindowsEnd) {
    // The last window is used: the history and what a match wrote past the window end move to
    // the front.
    const size_t keep = size_t(S.Out - (next - kHistorySize));
    std::memmove(S.Output, next - kHistorySize, keep);
    S.Out = S.Output + keep;
    next = S.Output + kHistorySize;
    S.FirstByte = S.Output;
  }
  S.Window = next;
  return true;
}

inline void Copy8(uint8_t* to, const uint8_t* from) {
  uint64_t v;
  std::memcpy(&v, from, 8);
  std::memcpy(to, &v, 8);
}

// Copies a match of `length` bytes from `distance` bytes back, as a byte-by-byte copy upwards
// would (a distance shorter than the length repeats the recent bytes). May write up to
// kCopyOverrun bytes past the match's end. Returns the match's end.
inline uint8_t* CopyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  uint8_t* const end = out + length;
  const uint8_t* from = out - distance;
  if (sizeof(void*) >= 8 && distance >= 16) {
    // Where registers are 64 bits wide, so are the vector moves a 16-byte copy becomes. Most
    // matches are done with the first two, which need no test.
    std::memcpy(out, from, 16);
    std::memcpy(out + 16, from + 16, 16);
    out += 32;
    from += 32;
    while (out < end) {
      std::memcpy(out, from, 16);
      out += 16;
      from += 16;
    }
  } else if (distance >= 8) {
    // Every load ends at or before the position being stored, so it reads final bytes.
    do {
      Copy8(out, from);
      Copy8(out + 8, from + 8);
      out += 16;
      from += 16;
    } while (out < end);
  } else if (distance == 1) {
    const size_t run = *from * (~size_t(0) / 0xFF);
    do {
      for (uint32_t i = 0; i < 16; i += sizeof run) std::memcpy(out + i, &run, sizeof run);
      out += 16;
    } while (out < end);
  } else {
    // A whole number of periods at least 8 bytes long goes down byte by byte; from then on
    // the pattern repeats with that longer period, which a word copy can follow.
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    uint8_t* const patternEnd = length < period ? end : out + period;
    while (out < patternEnd) {
      *out = *from++;
      ++out;
    }
    from = out - period;
    while (out < end) {
      Copy8(out, from);
      out += 8;
      from += 8;
    }
  }
  return end;
}
static_assert(kCopyOverrun >= 32 - 3, "CopyMatch stores up to 29 bytes past a match");

// ---- Codes ------------------------------------------------------------------------------

// The entry for the code at the front of the bit buffer in a table indexed by `width` bits. The
// bits not yet fetched read as 0, so an entry is trusted only when the bits it needs are there:
// bytes are fetched and the entry looked up again until they are, or the data ends (the
// caller's DumpBits then fails).
HuffEntry SlowEntry(const HuffEntry* table, uint32_t width) {
  HuffEntry e = table[PeekBits(width)];
  while (e.NeededBits() > S.BitCount) {
    const uint32_t had = S.BitCount;
    NeedBits(e.NeededBits());
    if (S.BitCount == had) break;
    e = table[PeekBits(width)];
  }
  return e;
}

// Looks up the code at the front of the bit buffer, `ahead` bits fetched first; a link's bits
// are dropped and its sub-table searched. The entry's own bits stay for the caller.
Step SlowLookup(const HuffEntry* table, uint32_t width, uint32_t ahead, HuffEntry* e) {
  NeedBits(ahead);
  *e = SlowEntry(table, width);
  if (e->IsLink()) {
    if (!DumpBits(e->Bits())) return Fail(InflateOutcome::InputExhausted);
    *e = SlowEntry(table + e->Value(), e->CodeBits());
  }
  return Step::Continue;
}

// A length or distance: drops its code's bits, then fetches and drops its extra bits.
bool SlowValue(HuffEntry e, uint32_t* value) {
  if (!DumpBits(e.CodeBits())) return false;
  const uint32_t extra = e.Bits() - e.CodeBits();
  NeedBits(extra);
  *value = e.Value() + PeekBits(extra);
  return DumpBits(extra);
}

// One symbol, every bit through NeedBits and DumpBits.
Step SlowSymbol(const BlockCodes& c) {
  HuffEntry e;
  if (SlowLookup(c.literals, c.literalBits, c.lookAhead, &e) == Step::Failed) return Step::Failed;
  if (e.IsSpecial() && e.Special() == HuffEntry::kInvalid) return Fail(InflateOutcome::InvalidCode);
  if (e.IsLiteral() || e.IsSpecial()) {
    if (!DumpBits(e.Bits())) return Fail(InflateOutcome::InputExhausted);
    if (e.IsSpecial()) return Step::EndOfBlock;
    *S.Out++ = uint8_t(e.Value());
  } else {
    uint32_t length, distance;
    if (!SlowValue(e, &length)) return Fail(InflateOutcome::InputExhausted);
    const uint32_t ahead = c.lookAhead < c.distanceBits ? c.lookAhead : c.distanceBits;
    if (SlowLookup(c.distances, c.distanceBits, ahead, &e) == Step::Failed) return Step::Failed;
    if (e.IsSpecial()) {
      return Fail(e.Special() == HuffEntry::kNoDistances ? InflateOutcome::LengthWithoutDistances
                                                         : InflateOutcome::InvalidCode);
    }
    if (!SlowValue(e, &distance)) return Fail(InflateOutcome::InputExhausted);
    if (distance > size_t(S.Out - S.FirstByte)) return Fail(InflateOutcome::DistanceTooFar);
    S.Out = CopyMatch(S.Out, distance, length);
  }
  return S.Out >= S.Window + kWindowSize ? Step::WindowFull : Step::Continue;
}

// FastCodes keeps the count of valid bits in the low bits of `count` (Valid): it subtracts
// whole entries, whose low byte is the bits they take, and the bits above collect what the rest
// of the entries leave there. That spares a register and an instruction per code.
constexpr uint32_t kCountMask = kWordBits - 1;
inline uint32_t Valid(uint32_t count) {
  return count & kCountMask;
}

// Tops the bit buffer up to at least kWordBits - 8 bits with one word load at `in`.
inline void Refill(BitWord& bits, uint32_t& count, const uint8_t*& in) {
  bits |= LoadWord(in) << Valid(count);
  in += (~count & kCountMask) >> 3;
  count |= kWordBits - 8;
}

// Drops the bits an entry takes (its low byte).
inline void Drop(BitWord& bits, uint32_t& count, HuffEntry e) {
  static_assert(kCountMask >= 28, "an entry takes at most 15 + 13 bits");
  bits >>= e.Word & kCountMask;
  count -= e.Word;
}

// Masks of the low n bits, n < 32: one load instead of a variable shift and two more steps.
constexpr auto kLowMasks = [] {
  std::array<BitWord, 32> masks{};
  for (uint32_t n = 0; n < 32; ++n) masks[n] = (BitWord(1) << n) - 1;
  return masks;
}();

// A length's or distance's extra bits, behind its code's bits.
inline uint32_t ExtraBits(BitWord bits, HuffEntry e) {
  return uint32_t((bits & kLowMasks[e.Bits()]) >> e.CodeBits());
}

// Decodes symbols until the end of the block, a code that ends the entry, a full window or the
// end of the part of the piece where it may run.
//
// Entry: at least kFastInputMargin unread bytes in the piece; Out below the window end; the
// bits in BitBuffer above BitCount are 0.
// Inside: bit j of `bits` is the stream's bit (consumed + j) for every bit loaded so far, or 0;
// a refill ORs the next word in at `count` and advances `in` past the bytes now wholly inside.
// Each round of the loop starts with the bits it needs (see kWordBits above) and with `e`, the
// root entry of its first code, looked up while the previous round finished.
// Exit: whole bytes of the piece that were loaded but not used go back to it, so the state is
// SlowSymbol's again and EntryRemaining counts the bytes taken. (A byte-by-byte reader's
// look-ahead may have taken a byte or two more; pieces are still read at the same points, as a
// read happens only when a look-ahead reaches past the piece, which here never happens.)
// Kept out of line so that its loop has the registers to itself.
[[gnu::noinline]] Step FastCodes(const BlockCodes& c) {
  const uint8_t* const inStart = S.InputBuffer + S.InputPos;
  const uint8_t* const inLast = S.InputBuffer + S.InputFill - kFastInputMargin;
  const uint8_t* in = inStart;
  BitWord bits = S.BitBuffer;
  uint32_t count = S.BitCount;
  uint8_t* out = S.Out;
  uint8_t* const windowEnd = S.Window + kWindowSize;
  const uint8_t* const firstByte = S.FirstByte;
  const HuffEntry* const tl = c.literals;
  const HuffEntry* const td = c.distances;
  const BitWord literalMask = Mask(c.literalBits);
  const BitWord distanceMask = Mask(c.distanceBits);
  Step step = Step::Continue;

  Refill(bits, count, in);
  HuffEntry e = tl[bits & literalMask];
  for (;;) {
    if (e.IsLiteral()) {
      // A run of literals: its own loop, so that the compiler keeps it in registers.
      bool stop;
      do {
        Drop(bits, count, e);
        *out++ = uint8_t(e.Value());
        // With 64 bits, up to two more literals from the same refill. They may land behind a
        // full window before its flush; they are then the next window's first bytes, or dropped
        // with the rest of the window's overrun when the flush brings a cancel, as if they had
        // never been decoded.
        if constexpr (kWordBits >= 64) {
          e = tl[bits & literalMask];
          if (e.IsLiteral()) {
            Drop(bits, count, e);
            *out++ = uint8_t(e.Value());
            e = tl[bits & literalMask];
            if (e.IsLiteral()) {
              Drop(bits, count, e);
              *out++ = uint8_t(e.Value());
              e = tl[bits & literalMask];
            }
          }
        }
        stop = in > inLast || out >= windowEnd;
        if (stop) break;
        Refill(bits, count, in);
        if constexpr (kWordBits < 64) e = tl[bits & literalMask];
      } while (e.IsLiteral());
      if (stop) break;
      continue;
    }
    if (e.IsSpecial()) {
      if (e.IsLink()) {
        Drop(bits, count, e);
        e = tl[e.Value() + (bits & kLowMasks[e.CodeBits()])];
        continue;
      }
      if (e.Special() == HuffEntry::kEndOfBlock) {
        Drop(bits, count, e);
        step = Step::EndOfBlock;
      } else {
        step = Fail(InflateOutcome::InvalidCode);
      }
      break;
    }

    const uint32_t length = e.Value() + ExtraBits(bits, e);
    Drop(bits, count, e);
    if constexpr (kWordBits < 64) Refill(bits, count, in);
    HuffEntry d = td[bits & distanceMask];
    if (d.IsSpecial()) {
      if (d.IsLink()) {
        Drop(bits, count, d);
        d = td[d.Value() + (bits & kLowMasks[d.CodeBits()])];
      }
      if (d.IsSpecial()) {
        step = Fail(d.Special() == HuffEntry::kNoDistances ? InflateOutcome::LengthWithoutDistances
                                                           : InflateOutcome::InvalidCode);
        break;
      }
    }
    uint32_t distance;
    if (kWordBits < 64 && Valid(count) < d.Bits()) {
      // Only on 32-bit hosts, for the rare distance whose code and extra bits pass what the
      // refill brought: the code's bits, another refill, the extra bits.
      const uint32_t extra = d.Bits() - d.CodeBits();
      bits >>= d.CodeBits();
      count -= d.CodeBits();
      Refill(bits, count, in);
      distance = d.Value() + uint32_t(bits & kLowMasks[extra]);
      bits >>= extra;
      count -= extra;
    } else {
      distance = d.Value() + ExtraBits(bits, d);
      Drop(bits, count, d);
    }
    if (distance > size_t(out - firstByte)) {
      step = Fail(InflateOutcome::DistanceTooFar);
      break;
    }
    // The next round's entry is looked up before the copy, so that the two overlap.
    const bool more = in <= inLast;
    if (more) {
      Refill(bits, count, in);
      e = tl[bits & literalMask];
    }
    out = CopyMatch(out, distance, length);
    if (!more || out >= windowEnd) break;
  }
  if (step == Step::Continue && out >= windowEnd) step = Step::WindowFull;

  // Bytes loaded before this call may come from the previous piece; only this piece's go back.
  count = Valid(count);
  uint32_t giveBack = count >> 3;
  if (giveBack > uint32_t(in - S.InputBuffer)) giveBack = uint32_t(in - S.InputBuffer);
  in -= giveBack;
  count -= 8 * giveBack;
  S.BitBuffer = bits & Mask(count);
  S.BitCount = count;
  EntryRemaining -= in - inStart;
  S.InputPos = uint32_t(in - S.InputBuffer);
  S.Out = out;
  return step;
}

// Decodes literals and matches up to the end of the block. Looks at CancelRequested before
// every symbol and after every flush.
Step InflateCodes(const BlockCodes& c) {
  for (;;) {
    if (CancelRequested) return Step::Stopped;
    const Step step = S.InputPos + kFastInputMargin <= S.InputFill ? FastCodes(c) : SlowSymbol(c);
    if (step == Step::WindowFull) {
      if (!WindowFull()) return Step::Stopped;
    } else if (step != Step::Continue) {
      return step;
    }
  }
}

// ---- Blocks -----------------------------------------------------------------------------

// RFC 1951 3.2.4. The bytes pass from the piece straight to the window; only the ones still in
// the bit buffer go through it.
Step InflateStoredBlock() {
  (void)DumpBits(S.BitCount & 7);
  NeedBits(16);
  const uint32_t length = PeekBits(16);
  if (!DumpBits(16)) return Fail(InflateOutcome::InputExhausted);
  NeedBits(16);
  const uint32_t complement = PeekBits(16);
  if (length != (~complement & 0xFFFF)) return Fail(InflateOutcome::StoredLengthMismatch);
  if (!DumpBits(16)) return Fail(InflateOutcome::InputExhausted);

  uint32_t left = length;
  while (left > 0) {
    uint8_t* const windowEnd = S.Window + kWindowSize;
    if (S.BitCount >= 8) {
      *S.Out++ = uint8_t(S.BitBuffer);
      (void)DumpBits(8);
      --left;
    } else if (S.InputPos < S.InputFill && !CancelRequested) {
      uint32_t n = S.InputFill - S.InputPos;
      if (n > left) n = left;
      if (n > uint32_t(windowEnd - S.Out)) n = uint32_t(windowEnd - S.Out);
      std::memcpy(S.Out, S.InputBuffer + S.InputPos, n);
      S.Out += n;
      S.InputPos += n;
      EntryRemaining -= n;
      left -= n;
    } else {
      // A byte that is not there is never written: the block ran past the entry's data.
      NeedBits(8);
      if (S.BitCount < 8) return Fail(InflateOutcome::InputExhausted);
      *S.Out++ = uint8_t(S.BitBuffer);
      (void)DumpBits(8);
      --left;
    }
    if (S.Out >= windowEnd && !WindowFull()) return Step::Stopped;
  }
  return Step::EndOfBlock;
}

// RFC 1951 3.2.6. The tables are built once per entry.
Step InflateFixedBlock() {
  if (!S.FixedLiteralTable) {
    uint8_t lengths[kMaxCodeSymbols];
    std::memset(lengths, 8, 144);
    std::memset(lengths + 144, 9, 256 - 144);
    std::memset(lengths + 256, 7, 280 - 256);
    std::memset(lengths + 280, 8, kMaxCodeSymbols - 280);
    S.FixedLiteralBits = kFixedLiteralRootBits;
    if (BuildHuffmanTable(lengths, kMaxCodeSymbols, 257, kLengthBase, kLengthExtra, kLengthRows,
                          &S.FixedLiteralTable, &S.FixedLiteralChain,
                          &S.FixedLiteralBits) == kHuffNoMemory)
      return Fail(InflateOutcome::OutOfMemory);
    // 30 codes of 5 bits: the two unused patterns stay invalid codes.
    std::memset(lengths, 5, kDistanceRows);
    S.FixedDistanceBits = kFixedDistanceRootBits;
    if (BuildHuffmanTable(lengths, kDistanceRows, 0, kDistanceBase, kDistanceExtra, kDistanceRows,
                          &S.FixedDistanceTable, &S.FixedDistanceChain,
                          &S.FixedDistanceBits) == kHuffNoMemory)
      return Fail(InflateOutcome::OutOfMemory);
  }
  // The end code has 7 bits.
  const uint32_t ahead = S.FixedLiteralBits < 7 ? S.FixedLiteralBits : 7;
  return InflateCodes(
      {S.FixedLiteralTable, S.FixedDistanceTable, S.FixedLiteralBits, S.FixedDistanceBits, ahead});
}

// Reads the nl + nd code lengths of a dynamic block with the code-length code (RFC 1951
// 3.2.7). Symbols 16, 17 and 18 repeat the last length or zero; a 16 before any length
// repeats 0.
Step ReadCodeLengths(const HuffEntry* table, uint32_t width, uint8_t* lengths, uint32_t total) {
  uint32_t i = 0;
  uint8_t last = 0;
  while (i < total) {
    if (CancelRequested) return Step::Stopped;
    NeedBits(width);
    const HuffEntry entry = table[PeekBits(width)];
    // The one table is a single level (lengths of at most 7 bits, root width 7); its only
    // special entry is the invalid filler of a code with a single one-bit code.
    if (entry.IsSpecial()) return Fail(InflateOutcome::InvalidCode);
    if (!DumpBits(entry.Bits())) return Fail(InflateOutcome::InputExhausted);
    const uint32_t symbol = entry.Value();
    if (symbol < 16) {
      lengths[i++] = last = uint8_t(symbol);
      continue;
    }
    uint32_t extraBits = 2, repeat = 3;
    uint8_t value = last;
    if (symbol == 17) {
      extraBits = 3;
      value = 0;
    } else if (symbol == 18) {
      extraBits = 7;
      repeat = 11;
      value = 0;
    }
    NeedBits(extraBits);
    repeat += PeekBits(extraBits);
    if (!DumpBits(extraBits)) return Fail(InflateOutcome::InputExhausted);
    if (repeat > total - i) return Fail(InflateOutcome::CodeLengthRepeatOverrun);
    std::memset(lengths + i, value, repeat);
    i += repeat;
    last = value;
  }
  return Step::Continue;
}

// RFC 1951 3.2.7. All three code sets are released before returning, on every path.
Step InflateDynamicBlock() {
  NeedBits(5);
  const uint32_t nl = 257 + PeekBits(5);
  if (!DumpBits(5)) return Fail(InflateOutcome::InputExhausted);
  NeedBits(5);
  const uint32_t nd = 1 + PeekBits(5);
  if (!DumpBits(5)) return Fail(InflateOutcome::InputExhausted);
  NeedBits(4);
  const uint32_t nb = 4 + PeekBits(4);
  if (!DumpBits(4)) return Fail(InflateOutcome::InputExhausted);

  uint8_t lengths[kMaxLengths];
  for (uint32_t j = 0; j < kCodeLengthCodes; ++j) {
    uint8_t length = 0;
    if (j < nb) {
      NeedBits(3);
      length = uint8_t(PeekBits(3));
      if (!DumpBits(3)) return Fail(InflateOutcome::InputExhausted);
    }
    lengths[kCodeLengthOrder[j]] = length;
  }

  HuffEntry *table, *chain;
  uint32_t width = kCodeLengthRootBits;
  HuffStatus status = BuildHuffmanTable(lengths, kCodeLengthCodes, kCodeLengthCodes, nullptr,
                                        nullptr, 0, &table, &chain, &width);
  if (status == kHuffNoMemory) return Fail(InflateOutcome::OutOfMemory);
  if (status != kHuffComplete || !table) {
    FreeHuffmanTables(chain);
    return Fail(InflateOutcome::BadCodeLengthCode);
  }
  const Step read = ReadCodeLengths(table, width, lengths, nl + nd);
  FreeHuffmanTables(chain);
  if (read != Step::Continue) return read;

  HuffEntry *literals, *literalChain;
  uint32_t literalBits = kLiteralRootBits;
  status = BuildHuffmanTable(lengths, nl, 257, kLengthBase, kLengthExtra, kLengthRows, &literals,
                             &literalChain, &literalBits);
  if (status == kHuffNoMemory) return Fail(InflateOutcome::OutOfMemory);
  if (status != kHuffComplete || !literals) {
    FreeHuffmanTables(literalChain);
    return Fail(InflateOutcome::BadLiteralLengthCode);
  }
  // An incomplete distance code is accepted (its free patterns are invalid codes), and so is
  // one without any code, as long as no length symbol needs it.
  HuffEntry *distances, *distanceChain;
  uint32_t distanceBits = kDistanceRootBits;
  status = BuildHuffmanTable(lengths + nl, nd, 0, kDistanceBase, kDistanceExtra, kDistanceRows,
                             &distances, &distanceChain, &distanceBits);
  Step step;
  if (status == kHuffNoMemory) {
    step = Fail(InflateOutcome::OutOfMemory);
  } else if (status == kHuffOversubscribed) {
    step = Fail(InflateOutcome::BadDistanceCode);
  } else {
    uint32_t ahead = literalBits < kLookAheadBits ? literalBits : kLookAheadBits;
    if (lengths[256] != 0 && lengths[256] < ahead) ahead = lengths[256];
    step = distances ? InflateCodes({literals, distances, literalBits, distanceBits, ahead})
                     : InflateCodes({literals, kNoDistanceCode, literalBits, 0, ahead});
  }
  FreeHuffmanTables(distanceChain);
  FreeHuffmanTables(literalChain);
  return step;
}

Step InflateBlock(bool* final) {
  NeedBits(1);
  *final = (S.BitBuffer & 1) != 0;
  if (!DumpBits(1)) return Fail(InflateOutcome::InputExhausted);
  NeedBits(2);
  const uint32_t type = PeekBits(2);
  if (!DumpBits(2)) return Fail(InflateOutcome::InputExhausted);
  switch (type) {
    case 0:
      return InflateStoredBlock();
    case 1:
      return InflateFixedBlock();
    case 2:
      return InflateDynamicBlock();
    default:
      return Fail(InflateOutcome::InvalidBlockType);
  }
}

// The buffers InflateEntry takes, obtained on first use.
uint8_t* keptInput = nullptr;
uint8_t* keptOutput = nullptr;

void ReleaseDecoder() {
  FreeHuffmanTables(S.FixedLiteralChain);
  FreeHuffmanTables(S.FixedDistanceChain);
  S = DecoderState{};
}

}  // namespace

void ReleaseDecoderMemory() {
  std::free(keptInput);
  std::free(keptOutput);
  keptInput = keptOutput = nullptr;
}

void InflateEntry() {
  S = DecoderState{};
  if (!keptInput) keptInput = static_cast<uint8_t*>(DecoderMemory(kPieceSize));
  if (!keptOutput) keptOutput = static_cast<uint8_t*>(DecoderMemory(kOutputBufferSize));
  S.InputBuffer = keptInput;
  S.Output = keptOutput;
  if (!S.InputBuffer || !S.Output) {
    LastInflateOutcome = InflateOutcome::OutOfMemory;
    ReleaseDecoder();
    return;
  }
  S.Window = S.Out = S.FirstByte = S.Output + kHistorySize;

  bool final = false;
  Step step;
  do {
    step = InflateBlock(&final);
  } while (step == Step::EndOfBlock && !final && !CancelRequested);

  // A failure has set LastInflateOutcome; the bytes waiting in the window are not written.
  if (step != Step::Failed) {
    if (S.Out > S.Window) FlushWindow(S.Window, uint32_t(S.Out - S.Window));
    LastInflateOutcome =
        step == Step::EndOfBlock && final ? InflateOutcome::Complete : InflateOutcome::Cancelled;
  }
  ReleaseDecoder();
}

bool DecompressEntry() {
  switch (LocalHeader.Method) {
    case 0:
      CopyStoredEntry();
      return true;
    case 8:
      InflateEntry();
      return true;
    default:
      ShowMessage(nullptr, kMsgUnknownMethod, MessageIcon::Error);
      return false;
  }
}
