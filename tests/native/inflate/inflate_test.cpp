// The decoder on streams made by hand for the cases zlib never writes, and on the ways an entry
// can end early: each corrupt-data reason, a cancel, an archive cut short, no memory; and the
// lookup tables it builds, against canonical codes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>

#include "tests/native/inflate/inflate_harness.h"
#include "unpacker/inflate/huffman_table.h"

using namespace inflate_testing;
using Outcome = InflateOutcome;

namespace {

// Canonical prefix codes for the given lengths (0 = unused).
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {}, next[17] = {};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int bits = 1, code = 0; bits <= 16; ++bits)
    next[bits] = code = (code + count[bits - 1]) << 1;
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i]) codes[i] = next[lengths[i]]++;
  return codes;
}

// Deflate bit order: values LSB first, Huffman codes MSB first.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint32_t buffer = 0;
  int count = 0;

  BitWriter& Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
      buffer |= ((value >> i) & 1) << count;
      if (++count == 8) bytes.push_back(uint8_t(buffer)), buffer = count = 0;
    }
    return *this;
  }
  BitWriter& Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1, 1);
    return *this;
  }
  size_t BitCount() const { return bytes.size() * 8 + count; }
  std::vector<uint8_t> Finish() { return count ? Bits(0, 8 - count).bytes : bytes; }

  // A dynamic block header sending code-length `symbols` (16, 17 and 18 each followed by the
  // value of its extra bits) with the code-length code `codeLengthCode` (19 lengths in symbol
  // order; empty: a complete code of 4- and 5-bit codes).
  BitWriter& Header(bool final, uint32_t nl, uint32_t nd, const std::vector<uint32_t>& symbols,
                    std::vector<uint8_t> codeLengthCode = {}) {
    if (codeLengthCode.empty()) {
      codeLengthCode.assign(19, 4);
      for (int s : {13, 14, 15, 16, 17, 18}) codeLengthCode[s] = 5;
    }
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthCode);
    Bits(final, 1).Bits(2, 2).Bits(nl - 257, 5).Bits(nd - 1, 5).Bits(19 - 4, 4);
    for (uint8_t s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
      Bits(codeLengthCode[s], 3);
    for (size_t i = 0; i < symbols.size(); ++i) {
      const uint32_t s = symbols[i];
      Code(codes[s], codeLengthCode[s]);
      if (s >= 16) Bits(symbols[++i], s == 18 ? 7 : s - 14);
    }
    return *this;
  }

  // A block body: literal/length symbols, each length symbol followed by its extra bits value,
  // a distance symbol and its extra bits value (a body may end after a length's extra bits).
  BitWriter& Body(const std::vector<uint8_t>& literalLengths,
                  const std::vector<uint8_t>& distanceLengths, const std::vector<uint32_t>& body) {
    const std::vector<uint32_t> lc = CanonicalCodes(literalLengths);
    const std::vector<uint32_t> dc = CanonicalCodes(distanceLengths);
    for (size_t i = 0; i < body.size(); ++i) {
      const uint32_t s = body[i];
      Code(lc[s], literalLengths[s]);
      if (s <= 256) continue;
      Bits(body[++i], s < 265 || s >= 285 ? 0 : (s - 261) / 4);
      if (i + 1 == body.size()) break;
      const uint32_t d = body[++i];
      Code(dc[d], distanceLengths[d]).Bits(body[++i], d < 4 || d >= 30 ? 0 : d / 2 - 1);
    }
    return *this;
  }

  BitWriter& Fixed(bool final, const std::vector<uint32_t>& body) {
    std::vector<uint8_t> lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    return Bits(final, 1).Bits(1, 2).Body(lengths, std::vector<uint8_t>(32, 5), body);
  }

  // Sends the code lengths literally.
  BitWriter& Dynamic(bool final, const std::vector<uint8_t>& literalLengths,
                     const std::vector<uint8_t>& distanceLengths,
                     const std::vector<uint32_t>& body) {
    std::vector<uint32_t> symbols(literalLengths.begin(), literalLengths.end());
    symbols.insert(symbols.end(), distanceLengths.begin(), distanceLengths.end());
    Header(final, uint32_t(literalLengths.size()), uint32_t(distanceLengths.size()), symbols);
    return Body(literalLengths, distanceLengths, body);
  }

  BitWriter& Stored(bool final, const std::vector<uint8_t>& data) {
    Bits(final, 3).Bits(0, (8 - count) % 8);
    const uint32_t n = uint32_t(data.size());
    Bits(n, 16).Bits(~n & 0xFFFF, 16);
    for (uint8_t b : data) Bits(b, 8);
    return *this;
  }
};

std::vector<uint8_t> Fixed(const std::vector<uint32_t>& body, bool final = true) {
  return BitWriter().Fixed(final, body).Finish();
}

std::vector<uint8_t> Dynamic(const std::vector<uint8_t>& literalLengths,
                             const std::vector<uint8_t>& distanceLengths,
                             const std::vector<uint32_t>& body) {
  return BitWriter().Dynamic(true, literalLengths, distanceLengths, body).Finish();
}

// A dynamic header (257 + 1 lengths) sent with this code-length code, then `tailBits` bits.
std::vector<uint8_t> Header(std::vector<uint8_t> codeLengthCode, std::vector<uint32_t> symbols,
                            uint32_t tail = 0, int tailBits = 0) {
  return BitWriter().Header(true, 257, 1, symbols, codeLengthCode).Bits(tail, tailBits).Finish();
}

// A stored block of n bytes 'x' (not final), then a fixed block with `body`.
std::vector<uint8_t> StoredThenFixed(uint32_t n, const std::vector<uint32_t>& body) {
  return BitWriter().Stored(false, std::vector<uint8_t>(n, 'x')).Fixed(true, body).Finish();
}

std::vector<uint8_t> Lengths(size_t n, std::initializer_list<std::pair<int, int>> set) {
  std::vector<uint8_t> lengths(n, 0);
  for (auto [symbol, length] : set) lengths[symbol] = uint8_t(length);
  return lengths;
}

// Complete 288 and 32 codes, with the symbols that have no meaning (286, 287, 30, 31).
const std::vector<uint8_t> kAll288 = [] {
  std::vector<uint8_t> l(288, 8);
  std::fill(l.begin() + 224, l.end(), 9);
  return l;
}();
const std::vector<uint8_t> kAll32(32, 5);
// 'a', 'b', the end code and length 3 (symbol 257), two bits each.
const std::vector<uint8_t> kFour = Lengths(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});

// What each stream decodes to, and why the entry ended. A failure writes nothing of the window
// it happened in. A cancel pressed during the message step of a flush stops the decoder before
// the next symbol, or after the chunk of a match that filled the window; the rest of that match
// is not written. When the archive ends inside the entry, CancelRequested is set: every code
// whose 9-bit look-ahead was there is decoded, and the one after it; then the window is
// written. Each stream is decoded as it is (its last symbols near the end of the data) and with
// 16 bytes behind it, so that the word-wide path decodes them too.
TEST(Inflate, HandMadeStreamsDecodeAndEndAsExpected) {
  struct Case {
    std::vector<uint8_t> stream;
    Outcome outcome;
    std::string output = "";
    int pressAt = 0;     // the message step (counting from 1) that sees a cancel
    int64_t cutAt = -1;  // where the program file ends
  };
  std::vector<Case> cases = {
      {BitWriter().Stored(false, {'h', 'i'}).Fixed(true, {'!', 256}).Finish(), Outcome::Complete,
       "hi!"},
      {Fixed({'a', 285, 0, 0, 0, 256}), Outcome::Complete, std::string(259, 'a')},
      // The second block's match reaches into the first; the third reuses the fixed tables.
      {BitWriter()
           .Fixed(false, {'a', 'b', 256})
           .Fixed(false, {258, 0, 1, 0, 256})
           .Fixed(true, {'c', 256})
           .Finish(),
       Outcome::Complete, "abababc"},
      // A repeat code first repeats length 0; then 'a' and the end code, one bit each.
      {Header({}, {16, 3, 18, 80, 1, 18, 127, 18, 9, 1, 1}, 0b100, 3), Outcome::Complete, "aa"},
      {Dynamic(kAll288, kAll32, {'x', 257, 0, 0, 0, 256}), Outcome::Complete, "xxxx"},
      {Dynamic(kFour, {1}, {'a', 'b', 257, 0, 0, 0, 256}), Outcome::Complete, "abbbb"},
      {Dynamic(kFour, {0}, {'b', 'a', 256}), Outcome::Complete, "ba"},
      {{0x07}, Outcome::InvalidBlockType},
      {{0x01, 0x02, 0x00, 0xFC, 0xFF, 'h', 'i'}, Outcome::StoredLengthMismatch},
      {Header(Lengths(19, {{0, 2}, {1, 2}}), {}), Outcome::BadCodeLengthCode},
      {Header(Lengths(19, {{0, 1}, {1, 1}, {2, 1}}), {}), Outcome::BadCodeLengthCode},
      {Header(Lengths(19, {}), {}), Outcome::BadCodeLengthCode},
      // One one-bit code counts as complete; its other pattern is no code.
      {Header(Lengths(19, {{8, 1}}), {}, 1, 1), Outcome::InvalidCode},
      {Header({}, {18, 127, 18, 127}), Outcome::CodeLengthRepeatOverrun},
      {Dynamic(Lengths(257, {{'a', 1}, {256, 2}}), {1}, {}), Outcome::BadLiteralLengthCode},
      {Dynamic(Lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1}, {}),
       Outcome::BadLiteralLengthCode},
      {Dynamic(Lengths(257, {}), {1}, {}), Outcome::BadLiteralLengthCode},
      {Dynamic(kFour, {1, 1, 1}, {}), Outcome::BadDistanceCode},
      {Dynamic(kAll288, kAll32, {'x', 286, 0, 0, 0}), Outcome::InvalidCode},
      {Dynamic(kAll288, kAll32, {'x', 257, 0, 30, 0}), Outcome::InvalidCode},
      {Fixed({'x', 257, 0, 30, 0}), Outcome::InvalidCode},
      {BitWriter().Dynamic(true, kFour, {1}, {'a', 257, 0}).Bits(1, 1).Finish(),
       Outcome::InvalidCode},
      {Dynamic(kFour, {0}, {'a', 257, 0, 0, 0}), Outcome::LengthWithoutDistances},
      {Fixed({'a', 257, 0, 1, 0, 256}), Outcome::DistanceTooFar},
      {Fixed({'a', 256}, false), Outcome::InputExhausted},
      // Cancels: a match across the window end, a literal that fills the window, a stored
      // block, long matches.
      {StoredThenFixed(32766, {285, 0, 0, 0, 'y', 256}), Outcome::Cancelled,
       std::string(32768, 'x'), 1},
      {StoredThenFixed(32767, {'y', 'z', 256}), Outcome::Cancelled, std::string(32767, 'x') + "y",
       1},
      {StoredThenFixed(40000, {256}), Outcome::Cancelled, std::string(32768, 'x'), 1},
      {RawDeflate(std::vector<uint8_t>(300000, 'r'), 9), Outcome::Cancelled,
       std::string(98304, 'r'), 3},
  };
  // Every prefix of a valid stream (but the whole) runs out of data before the end code.
  const std::vector<uint8_t> whole = Fixed({'a', 'b', 258, 0, 1, 0, 256});
  for (size_t n = 0; n < whole.size(); ++n)
    cases.push_back({{whole.begin(), whole.begin() + n}, Outcome::InputExhausted});
  // 'a' to 'h' have codes of 1 to 8 bits, the end code and length 3 of 9: 1000 one-bit codes.
  std::vector<uint8_t> eight(258, 0);
  for (int i = 0; i < 8; ++i) eight['a' + i] = uint8_t(i + 1);
  eight[256] = eight[257] = 9;
  const size_t headerBits = BitWriter().Dynamic(true, eight, {1}, {}).BitCount();
  const std::vector<uint8_t> as = Dynamic(eight, {1}, std::vector<uint32_t>(1000, 'a'));
  for (size_t cut : {as.size() - 100, as.size() - 1})
    cases.push_back({.stream = as,
                     .outcome = Outcome::Cancelled,
                     .output = std::string(8 * cut - headerBits - 7, 'a'),
                     .cutAt = int64_t(cut)});

  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases.data()));
    std::vector<uint8_t> padded = c.stream;
    padded.resize(padded.size() + 16);
    const std::vector<uint8_t> output(c.output.begin(), c.output.end());
    // Whole windows, then the rest; no write of nothing.
    std::vector<uint32_t> writes(output.size() / 32768, 32768);
    if (output.size() % 32768) writes.push_back(uint32_t(output.size() % 32768));
    for (int pass = 0; pass < (c.outcome == Outcome::InputExhausted ? 1 : 2); ++pass) {
      SCOPED_TRACE(pass ? "padded" : "as it is");
      const Decoded d =
          DecodeEntry(pass ? padded : c.stream, {.cutAt = c.cutAt, .onPump = [&](int pump) {
                                                   if (pump == c.pressAt) CancelRequested = true;
                                                 }});
      EXPECT_TRUE(d.result) << "the decoder never refuses a deflated entry";
      EXPECT_EQ(d.outcome, c.outcome);
      EXPECT_TRUE(d.bytes == output);
      EXPECT_EQ(d.crc, ZlibCrc32(output));
      EXPECT_EQ(d.writes, writes);
      EXPECT_EQ(d.cancelRequested, c.outcome == Outcome::Cancelled);
    }
  }
}

// zlib's verdict on a raw deflate stream: its bytes, or nothing when zlib finds it broken.
std::optional<std::vector<uint8_t>> ZlibInflate(const std::vector<uint8_t>& stream) {
  z_stream z{};
  inflateInit2(&z, -15);
  std::vector<uint8_t> out(1 << 20);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  const bool complete = inflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(z.total_out);
  inflateEnd(&z);
  return complete ? std::optional(out) : std::nullopt;
}

// Buffers and tables come poisoned, so an entry the table builder never writes shows; while
// allocationsLeft lasts.
int allocationsLeft = INT_MAX;
void* PoisonedAllocate(size_t size) {
  void* p = allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
  return p ? std::memset(p, 0xA5, size) : p;
}

// A random complete code over n (>= 2) symbols, of up to 15 bits: leaves split at random.
std::vector<uint8_t> RandomCode(std::mt19937& random, size_t n) {
  std::vector<uint8_t> leaves = {1, 1}, lengths(n, 0);
  while (leaves.size() < 2 + random() % (n - 1)) {
    const size_t i = random() % leaves.size();
    if (leaves[i] < 15) leaves.push_back(++leaves[i]);
  }
  std::copy(leaves.begin(), leaves.end(), lengths.begin());
  std::shuffle(lengths.begin(), lengths.end(), random);
  return lengths;
}

// No memory for a buffer or a table, at each allocation in turn: the entry ends quietly, and
// nothing leaks (LeakSanitizer checks at exit).
TEST(Inflate, EveryAllocationMayFail) {
  const std::vector<uint8_t> text = TextData(100000);
  DecoderAllocate = PoisonedAllocate;
  for (const auto& stream :
       {RawDeflate(text), RawDeflate(text, 6, Z_FIXED),
        BitWriter().Fixed(false, {'a', 256}).Dynamic(true, kFour, {1}, {'a', 'b', 256}).Finish()}) {
    for (int n = 0;; ++n) {
      allocationsLeft = n;
      const Decoded d = DecodeEntry(stream);
      if (d.outcome == Outcome::Complete) break;
      EXPECT_EQ(d.outcome, Outcome::OutOfMemory) << n;
      EXPECT_TRUE(d.result);
      ASSERT_LT(n, 100);
    }
  }
  allocationsLeft = INT_MAX;
}

// Random literal/length and distance codes of up to 15 bits, behind 32768 bytes of history:
// every symbol with a code used once, in random order, with random extra bits; the decoder and
// zlib agree on every stream.
TEST(Inflate, RandomCodesDecodeAsZlibDecodesThem) {
  std::mt19937 random(42);
  DecoderAllocate = PoisonedAllocate;
  for (int round = 0; round < 300; ++round) {
    const std::vector<uint8_t> literals = RandomCode(random, 257 + random() % 30),
                               distances = RandomCode(random, 2 + random() % 29);
    if (!literals[256]) continue;
    std::vector<uint32_t> symbols, body;
    for (uint32_t s = 0; s < literals.size(); ++s)
      if (literals[s] && s != 256) symbols.push_back(s);
    std::shuffle(symbols.begin(), symbols.end(), random);
    for (uint32_t s : symbols) {
      body.push_back(s);
      uint32_t d = random() % distances.size();
      while (!distances[d]) d = (d + 1) % distances.size();
      if (s > 256) body.insert(body.end(), {uint32_t(random()), d, uint32_t(random())});
    }
    body.push_back(256);
    const std::vector<uint8_t> stream = BitWriter()
                                            .Stored(false, RandomData(32768, round))
                                            .Dynamic(true, literals, distances, body)
                                            .Finish();
    const std::optional<std::vector<uint8_t>> expected = ZlibInflate(stream);
    ASSERT_TRUE(expected) << round;
    const Decoded d = DecodeEntry(stream);
    EXPECT_EQ(d.outcome, Outcome::Complete) << round;
    ASSERT_TRUE(d.bytes == *expected) << round;
  }
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
// longest code, and cut behind a short end code (so the code that ends a stream needs no bits
// behind it).
TEST(HuffmanTable, RootWidthIsTheRequestMovedAndCut) {
  const struct {
    std::vector<uint8_t> lengths;
    uint32_t requested, width;
  } cases[] = {
      {.lengths = std::vector<uint8_t>(30, 5), .requested = 2, .width = 5},
      {.lengths = std::vector<uint8_t>(32, 5), .requested = 6, .width = 5},
      // Never widened past the request: the 4-bit codes go to sub-tables.
      {.lengths = {3, 3, 3, 3, 3, 3, 3, 4, 4}, .requested = 3, .width = 3},
      {.lengths = EndCodeOf(6), .requested = 9, .width = 6},
      {.lengths = EndCodeOf(10), .requested = 9, .width = 9},
      {.lengths = {1}, .requested = 6, .width = 1},
  };
  for (const auto& c : cases) {
    const uint32_t n = uint32_t(c.lengths.size());
    HuffEntry *root, *chain;
    uint32_t width = c.requested;
    BuildHuffmanTable(c.lengths.data(), n, n, nullptr, nullptr, 0, &root, &chain, &width);
    EXPECT_EQ(width, c.width) << &c - cases;
    FreeHuffmanTables(chain);
  }
}

}  // namespace
