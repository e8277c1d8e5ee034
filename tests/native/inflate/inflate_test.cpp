// The decoder on streams made by hand for the cases zlib never writes, and on the ways an entry
// can end early: each corrupt-data reason, a cancel, an archive cut short, no memory.
#include "unpacker/inflate/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/inflate/huffman_table.h"

using namespace inflate_testing;
using testing_support::RawDeflate;
using Outcome = InflateOutcome;

namespace {

// Code-length symbols of a dynamic header: the symbol and the value of its extra bits.
struct CodeLengthSymbol {
  uint8_t symbol;
  uint8_t extra = 0;
};

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

  // A dynamic block header sending `symbols` with the code-length code `codeLengthCode` (19
  // lengths in symbol order; empty: a complete code of 4- and 5-bit codes).
  BitWriter& Header(bool final, uint32_t nl, uint32_t nd,
                    const std::vector<CodeLengthSymbol>& symbols,
                    std::vector<uint8_t> codeLengthCode = {}) {
    if (codeLengthCode.empty()) {
      codeLengthCode.assign(19, 4);
      for (int s : {13, 14, 15, 16, 17, 18}) codeLengthCode[s] = 5;
    }
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthCode);
    Bits(final, 1).Bits(2, 2).Bits(nl - 257, 5).Bits(nd - 1, 5).Bits(19 - 4, 4);
    for (uint8_t s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
      Bits(codeLengthCode[s], 3);
    for (const CodeLengthSymbol& s : symbols)
      Code(codes[s.symbol], codeLengthCode[s.symbol])
          .Bits(s.extra, s.symbol == 16   ? 2
                         : s.symbol == 17 ? 3
                         : s.symbol == 18 ? 7
                                          : 0);
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
    std::vector<CodeLengthSymbol> symbols;
    for (uint8_t l : literalLengths) symbols.push_back({l});
    for (uint8_t l : distanceLengths) symbols.push_back({l});
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
std::vector<uint8_t> Header(std::vector<uint8_t> codeLengthCode,
                            std::vector<CodeLengthSymbol> symbols, uint32_t tail = 0,
                            int tailBits = 0) {
  return BitWriter().Header(true, 257, 1, symbols, codeLengthCode).Bits(tail, tailBits).Finish();
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
// it happened in. Each stream is decoded as it is (its last symbols near the end of the data)
// and with 16 bytes behind it, so that the word-wide path decodes them too.
TEST(Inflate, HandMadeStreamsDecodeAndEndAsExpected) {
  struct Case {
    std::vector<uint8_t> stream;
    Outcome outcome;
    std::string output = "";
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
      {Header({}, {{16, 3}, {18, 80}, {1}, {18, 127}, {18, 9}, {1}, {1}}, 0b100, 3),
       Outcome::Complete, "aa"},
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
      {Header({}, {{18, 127}, {18, 127}}), Outcome::CodeLengthRepeatOverrun},
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
  };
  // Every prefix of a valid stream (but the whole) runs out of data before the end code.
  const std::vector<uint8_t> whole = Fixed({'a', 'b', 258, 0, 1, 0, 256});
  for (size_t n = 0; n < whole.size(); ++n)
    cases.push_back({{whole.begin(), whole.begin() + n}, Outcome::InputExhausted});

  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases.data()));
    std::vector<uint8_t> padded = c.stream;
    padded.resize(padded.size() + 16);
    const std::vector<uint8_t> output(c.output.begin(), c.output.end());
    for (int pass = 0; pass < (c.outcome == Outcome::InputExhausted ? 1 : 2); ++pass) {
      SCOPED_TRACE(pass ? "padded" : "as it is");
      const Decoded d = DecodeEntry(pass ? padded : c.stream);
      EXPECT_TRUE(d.result) << "the decoder never refuses a deflated entry";
      EXPECT_EQ(d.outcome, c.outcome);
      EXPECT_EQ(d.bytes, output);
      EXPECT_EQ(d.crc, testing_support::ZlibCrc32(output));
      EXPECT_EQ(d.writes.size(), output.empty() ? 0u : 1u) << "no write of nothing";
      EXPECT_FALSE(d.cancelRequested);
    }
  }
}

// The stream's last code never makes the decoder look for bits behind it: a size that claims
// more data than the file has is not noticed when the stream is complete. When the archive ends
// inside the entry, CancelRequested is set: every code whose 9-bit look-ahead was there is
// decoded, and the one after it; then the entry stops and the window is written.
TEST(Inflate, ArchiveEndingEarlySetsCancelOnlyInsideTheStream) {
  for (int level : {1, 9}) {
    const std::vector<uint8_t> data = BinaryData(50000 + level);
    const std::vector<uint8_t> stream = RawDeflate(data, level);
    const Decoded d = DecodeEntry(
        stream, {.cutAt = int64_t(stream.size()), .declaredSize = int64_t(stream.size()) + 1000});
    EXPECT_EQ(d.outcome, Outcome::Complete) << level;
    EXPECT_FALSE(d.cancelRequested) << level;
    EXPECT_TRUE(d.bytes == data) << level;
  }
  std::vector<uint8_t> lengths(258, 0);
  for (int i = 0; i < 8; ++i) lengths['a' + i] = uint8_t(i + 1);
  lengths[256] = lengths[257] = 9;
  std::vector<uint32_t> body(1000, 'a');
  body.push_back(256);
  const size_t headerBits = BitWriter().Dynamic(true, lengths, {1}, {}).BitCount();
  const std::vector<uint8_t> stream = Dynamic(lengths, {1}, body);
  for (int64_t cut : {int64_t(stream.size()) - 100, int64_t(stream.size()) - 1}) {
    const Decoded d = DecodeEntry(stream, {.cutAt = cut});
    EXPECT_TRUE(d.cancelRequested);
    EXPECT_EQ(d.outcome, Outcome::Cancelled);
    EXPECT_EQ(d.bytes, std::vector<uint8_t>(size_t(8 * cut) - headerBits - 7, 'a')) << cut;
  }
}

// A stored block of n bytes 'x' (not final), then a fixed block with `body`.
std::vector<uint8_t> StoredThenFixed(uint32_t n, const std::vector<uint32_t>& body) {
  return BitWriter().Stored(false, std::vector<uint8_t>(n, 'x')).Fixed(true, body).Finish();
}

// A cancel pressed during the message step of a flush stops the decoder before the next symbol,
// or after the chunk of a match that filled the window; the rest of that match is not written.
TEST(Inflate, CancelStopsAtTheFlushThatSawIt) {
  // The stream, the message step (counting from 1) that sees the cancel, the bytes written.
  const std::tuple<const char*, std::vector<uint8_t>, int, size_t> cases[] = {
      {"MatchAcrossTheWindowEnd", StoredThenFixed(32766, {285, 0, 0, 0, 'y', 256}), 1, 32768},
      {"LiteralFillsTheWindow", StoredThenFixed(32767, {'y', 'z', 256}), 1, 32768},
      {"InsideAStoredBlock", StoredThenFixed(40000, {256}), 1, 32768},
      {"LongMatches", RawDeflate(std::vector<uint8_t>(300000, 'r'), 9), 3, 98304},
  };
  for (const auto& [name, stream, pressAt, written] : cases) {
    const Decoded d = DecodeEntry(stream, {.onPump = [at = pressAt](int pump) {
                                    if (pump == at) CancelRequested = true;
                                  }});
    EXPECT_EQ(d.outcome, Outcome::Cancelled) << name;
    EXPECT_EQ(d.bytes.size(), written) << name;
    EXPECT_EQ(d.writes, std::vector<uint32_t>(written / 32768, 32768)) << name;
  }
}

// No memory for a buffer or a table, at each allocation in turn: the entry ends quietly, and
// nothing leaks (LeakSanitizer checks at exit).
int allocationsLeft = 0;

TEST(Inflate, EveryAllocationMayFail) {
  const std::vector<uint8_t> text = TextData(100000);
  for (const auto& stream :
       {RawDeflate(text), RawDeflate(text, 6, Z_FIXED),
        BitWriter().Fixed(false, {'a', 256}).Dynamic(true, kFour, {1}, {'a', 'b', 256}).Finish()}) {
    for (int n = 0;; ++n) {
      allocationsLeft = n;
      void* (*const previous)(size_t) = DecoderAllocate;
      DecoderAllocate = [](size_t size) {
        return allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
      };
      const Decoded d = DecodeEntry(stream);
      DecoderAllocate = previous;
      if (d.outcome == Outcome::Complete) break;
      EXPECT_EQ(d.outcome, Outcome::OutOfMemory) << n;
      EXPECT_TRUE(d.result);
      ASSERT_LT(n, 100);
    }
  }
}

}  // namespace
