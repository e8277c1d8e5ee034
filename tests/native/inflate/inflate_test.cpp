// The decoder on streams made by hand for the cases zlib never writes, and on the ways an entry
// can end early: each corrupt-data reason, a cancel, an archive cut short, no memory.
#include "unpacker/inflate/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/core_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/inflate/huffman_table.h"
#include "unpacker/resources/messages.h"

using namespace inflate_testing;
using Outcome = InflateOutcome;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A fixed block (RFC 1951 3.2.6) with the given body, as in DynamicBlock.
void AddFixedBlock(BitWriter& w, bool final, const std::vector<uint32_t>& body) {
  static const uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                         3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};
  w.Bits(final, 1);
  w.Bits(1, 2);
  for (size_t i = 0; i < body.size(); ++i) {
    FixedLiteral(w, body[i]);
    if (body[i] <= 256) continue;
    w.Bits(body[i + 1], kLengthExtra[body[i] - 257]);
    FixedDistance(w, body[i + 2]);
    const uint32_t d = body[i + 2];
    w.Bits(body[i + 3], d < 4 ? 0 : d / 2 - 1);
    i += 3;
  }
}

std::vector<uint8_t> FixedBlock(bool final, const std::vector<uint32_t>& body) {
  BitWriter w;
  AddFixedBlock(w, final, body);
  return w.Finish();
}

// Code lengths with `length` at the given symbols and 0 elsewhere.
std::vector<uint8_t> Lengths(size_t n, std::initializer_list<std::pair<int, int>> set) {
  std::vector<uint8_t> lengths(n, 0);
  for (auto [symbol, length] : set) lengths[symbol] = uint8_t(length);
  return lengths;
}

// 288 literal/length codes (224 of 8 bits, 64 of 9) and 32 distance codes of 5 bits: both
// complete, and both with the symbols that have no meaning (286, 287, 30, 31).
const std::vector<uint8_t> kAll288 = [] {
  std::vector<uint8_t> l(288, 8);
  for (int s = 224; s < 288; ++s) l[s] = 9;
  return l;
}();
const std::vector<uint8_t> kAll32(32, 5);

// Literals 'a', 'b', the end code and length 3 (symbol 257), two bits each.
const std::vector<uint8_t> kFour = Lengths(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});

// A dynamic header whose code lengths are sent with the given code-length code and symbols;
// the stream ends there (or with `tail` bits).
std::vector<uint8_t> Header(std::vector<uint8_t> codeLengthCode,
                            std::vector<CodeLengthSymbol> symbols, uint32_t nl = 257,
                            uint32_t nd = 1, std::vector<std::pair<uint32_t, int>> tail = {}) {
  BitWriter w;
  DynamicHeader(w, true, nl, nd, symbols, codeLengthCode);
  for (auto [bits, count] : tail) w.Bits(bits, count);
  return w.Finish();
}

struct StreamCase {
  std::string name;
  std::vector<uint8_t> stream;
  std::vector<uint8_t> output;
  Outcome outcome;
  friend void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }
};

class HandMadeStream : public ::testing::TestWithParam<StreamCase> {};

// What each stream decodes to, and why the entry ended. A failure writes nothing of the
// window it happened in, so these short streams have no output unless they complete.
// Each stream is decoded as it is, where its last symbols are near the end of the data, and
// with 16 more bytes behind it (which nothing reads), so that they are decoded by the word-wide
// path too.
TEST_P(HandMadeStream, DecodesAndEndsAsExpected) {
  const StreamCase& c = GetParam();
  std::vector<uint8_t> padded = c.stream;
  padded.resize(padded.size() + 16);
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1 && c.outcome == Outcome::InputExhausted) break;
    const Decoded d = DecodeEntry(pass ? padded : c.stream);
    EXPECT_TRUE(d.result) << "the decoder never refuses a deflated entry";
    EXPECT_EQ(d.outcome, c.outcome) << (pass ? "padded" : "as is");
    EXPECT_EQ(d.bytes, c.output);
    EXPECT_EQ(d.crc, testing_support::ZlibCrc32(c.output));
    EXPECT_EQ(d.writes.size(), c.output.empty() ? 0u : 1u) << "no write of nothing";
    EXPECT_FALSE(d.cancelRequested) << pass;
  }
}

std::vector<StreamCase> Streams() {
  const std::vector<uint8_t> a259(259, 'a');
  std::vector<StreamCase> cases = {
      {"EmptyFixedBlock", Hex("03 00"), {}, Outcome::Complete},
      {"StoredLengthZeroThenFixed", Hex("00 00 00 FF FF 03 00"), {}, Outcome::Complete},
      {"StoredThenFixed", Hex("00 05 00 FA FF 68 65 6C 6C 6F 03 00"), Bytes("hello"),
       Outcome::Complete},
      {"Length258AtDistance1", FixedBlock(true, {'a', 285, 0, 0, 0, 256}), a259, Outcome::Complete},
      // The second block's match reaches into the first; the third reuses the fixed tables.
      {"SeveralFixedBlocks",
       [] {
         BitWriter w;
         AddFixedBlock(w, false, {'a', 'b', 256});
         AddFixedBlock(w, false, {258, 0, 1, 0, 256});
         AddFixedBlock(w, true, {'c', 256});
         return w.Finish();
       }(),
       Bytes("abababc"), Outcome::Complete},
      {"CodeLength16First",
       Header({}, {{16, 3}, {18, 80}, {1}, {18, 127}, {18, 9}, {1}, {1}}, 257, 1,
              {{0, 1}, {0, 1}, {1, 1}}),
       Bytes("aa"), Outcome::Complete},
      {"AllCodesPresent", DynamicBlock(true, kAll288, kAll32, {'x', 257, 0, 0, 0, 256}),
       Bytes("xxxx"), Outcome::Complete},
      {"SingleDistanceCodeOfOneBit", DynamicBlock(true, kFour, {1}, {'a', 'b', 257, 0, 0, 0, 256}),
       Bytes("abbbb"), Outcome::Complete},
      {"IncompleteDistanceCodeAccepted",
       DynamicBlock(true, kFour, {0, 2}, {'a', 'b', 257, 0, 1, 0, 256}), Bytes("ababa"),
       Outcome::Complete},
      {"NoDistanceCodeButOnlyLiterals", DynamicBlock(true, kFour, {0}, {'b', 'a', 256}),
       Bytes("ba"), Outcome::Complete},

      {"BlockType3", Hex("07"), {}, Outcome::InvalidBlockType},
      {"StoredComplementWrong",
       Hex("01 05 00 FB FF 68 65 6C 6C 6F"),
       {},
       Outcome::StoredLengthMismatch},
      {"CodeLengthCodeIncomplete",
       Header(Lengths(19, {{0, 2}, {1, 2}}), {}),
       {},
       Outcome::BadCodeLengthCode},
      {"CodeLengthCodeOversubscribed",
       Header(Lengths(19, {{0, 1}, {1, 1}, {2, 1}}), {}),
       {},
       Outcome::BadCodeLengthCode},
      {"CodeLengthCodeEmpty", Header(Lengths(19, {}), {}), {}, Outcome::BadCodeLengthCode},
      // One one-bit code counts as complete; its other pattern is no code.
      {"CodeLengthCodeFiller",
       Header(Lengths(19, {{8, 1}}), {}, 257, 1, {{1, 1}}),
       {},
       Outcome::InvalidCode},
      {"RepeatPastTheLastLength",
       Header({}, {{18, 127}, {18, 127}}),
       {},
       Outcome::CodeLengthRepeatOverrun},
      {"RepeatOf16PastTheLastLength",
       Header({}, {{18, 127}, {18, 105}, {1}, {16, 3}}),
       {},
       Outcome::CodeLengthRepeatOverrun},
      {"LiteralCodeIncomplete",
       DynamicBlock(true, Lengths(257, {{'a', 1}, {256, 2}}), {1}, {}),
       {},
       Outcome::BadLiteralLengthCode},
      {"LiteralCodeOversubscribed",
       DynamicBlock(true, Lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1}, {}),
       {},
       Outcome::BadLiteralLengthCode},
      {"LiteralCodeEmpty",
       DynamicBlock(true, Lengths(257, {}), {1}, {}),
       {},
       Outcome::BadLiteralLengthCode},
      {"DistanceCodeOversubscribed",
       DynamicBlock(true, kFour, {1, 1, 1}, {}),
       {},
       Outcome::BadDistanceCode},
      {"Symbol286",
       DynamicBlock(true, kAll288, kAll32, {'x', 286, 0, 0, 0}),
       {},
       Outcome::InvalidCode},
      {"Symbol287",
       DynamicBlock(true, kAll288, kAll32, {'x', 287, 0, 0, 0}),
       {},
       Outcome::InvalidCode},
      {"Distance30",
       DynamicBlock(true, kAll288, kAll32, {'x', 257, 0, 30, 0}),
       {},
       Outcome::InvalidCode},
      {"Distance31",
       DynamicBlock(true, kAll288, kAll32, {'x', 257, 0, 31, 0}),
       {},
       Outcome::InvalidCode},
      {"FixedDistance30", FixedBlock(true, {'x', 257, 0, 30, 0}), {}, Outcome::InvalidCode},
      {"LengthWithoutDistanceCode",
       DynamicBlock(true, kFour, {0}, {'a', 257, 0, 0, 0}),
       {},
       Outcome::LengthWithoutDistances},
      {"DistanceBeforeTheFirstByte",
       FixedBlock(true, {'a', 257, 0, 1, 0, 256}),
       {},
       Outcome::DistanceTooFar},
      {"NoData", {}, {}, Outcome::InputExhausted},
      {"NoFinalBlock", FixedBlock(false, {'a', 256}), {}, Outcome::InputExhausted},
  };
  // The filler patterns of incomplete codes: a one-bit distance code's "1", and a two-bit
  // distance code's "1x" patterns.
  BitWriter one;
  one.Bits(1, 1);
  cases.push_back({"FillerOfOneBitDistanceCode",
                   [] {
                     std::vector<uint8_t> lengths = kFour;
                     std::vector<uint8_t> all = lengths;
                     all.push_back(1);
                     BitWriter w;
                     DynamicHeader(w, true, 258, 1, Literally(all));
                     const auto codes = CanonicalCodes(lengths);
                     w.Code(codes['a'], 2);
                     w.Code(codes[257], 2);
                     w.Bits(1, 1);  // the distance pattern without a code
                     return w.Finish();
                   }(),
                   {},
                   Outcome::InvalidCode});
  // Every prefix of a valid stream (but the whole) runs out of data before the end code.
  const std::vector<uint8_t> whole = FixedBlock(true, {'a', 'b', 258, 0, 1, 0, 256});
  for (size_t n = 1; n < whole.size(); ++n)
    cases.push_back({"CutAfter" + std::to_string(n) + "Bytes",
                     std::vector<uint8_t>(whole.begin(), whole.begin() + n),
                     {},
                     Outcome::InputExhausted});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Inflate, HandMadeStream, ::testing::ValuesIn(Streams()),
                         [](const auto& info) { return info.param.name; });

// A failure discards the window it happens in, but what was flushed before stays written.
TEST(Inflate, FailureKeepsTheWindowsFlushedBefore) {
  const std::vector<uint8_t> text = TextData(65536);
  // Two windows' worth in non-final blocks ending on a byte boundary, then a block of type 3.
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> stream(100000);
  z.next_in = const_cast<Bytef*>(text.data());
  z.avail_in = uInt(text.size());
  z.next_out = stream.data();
  z.avail_out = uInt(stream.size());
  ASSERT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
  stream.resize(z.total_out);
  deflateEnd(&z);
  stream.push_back(0x07);

  const Decoded d = DecodeEntry(stream);
  EXPECT_EQ(d.outcome, Outcome::InvalidBlockType);
  EXPECT_EQ(d.writes, (std::vector<uint32_t>{32768, 32768}));
  EXPECT_TRUE(d.bytes == text);
}

}  // namespace

namespace {

// ---- Pieces, cancel, a short archive, no memory ---------------------------------------------

// Compressed bytes come in pieces of 32768 read one after the other, output leaves in whole
// windows, and the archive position ends behind the stream.
TEST(InflatePieces, ReadsAndWritesWholePieces) {
  const std::vector<uint8_t> text = BinaryData(400000);
  const std::vector<uint8_t> stream = ZlibDeflate(text, 6, Z_DEFAULT_STRATEGY);
  ASSERT_GT(stream.size(), 3 * 32768u);
  const Decoded d = DecodeEntry(stream);
  ASSERT_EQ(d.outcome, Outcome::Complete);
  std::vector<std::pair<int64_t, int64_t>> pieces;
  for (int64_t at = 0; at < int64_t(stream.size()); at += 32768)
    pieces.push_back({at, std::min<int64_t>(at + 32768, stream.size())});
  EXPECT_EQ(d.reads, pieces);
  EXPECT_EQ(d.writes.size(), (text.size() + 32767) / 32768);
  EXPECT_EQ(d.endPosition, int64_t(stream.size()));
}

// Data behind the stream's end inside the entry: no piece is read that the stream does not
// reach into.
TEST(InflatePieces, NoReadBehindTheStream) {
  const std::vector<uint8_t> text = TextData(20000);
  EntryOptions options;
  options.trailing = RandomData(70000, 5);
  const Decoded d = DecodeEntry(ZlibDeflate(text, 9, Z_DEFAULT_STRATEGY), options);
  EXPECT_EQ(d.outcome, Outcome::Complete);
  EXPECT_TRUE(d.bytes == text);
  EXPECT_EQ(d.reads, (std::vector<std::pair<int64_t, int64_t>>{{0, 32768}}));
}

// The stream's last code never makes the decoder look for bits behind it: a size that claims
// more data than the file has is not noticed when the stream is complete.
TEST(InflatePieces, CompleteStreamInAShortArchiveIsNotCancelled) {
  for (int level : {1, 6, 9}) {
    const std::vector<uint8_t> data = BinaryData(50000 + level);
    const std::vector<uint8_t> stream = ZlibDeflate(data, level, Z_DEFAULT_STRATEGY);
    EntryOptions options;
    options.cutAt = int64_t(stream.size());
    options.declaredSize = int64_t(stream.size()) + 1000;
    const Decoded d = DecodeEntry(stream, options);
    EXPECT_EQ(d.outcome, Outcome::Complete) << level;
    EXPECT_FALSE(d.cancelRequested) << level;
    EXPECT_TRUE(d.bytes == data) << level;
  }
}

// The archive ends inside the entry: CancelRequested is set. A code whose bits are all there
// is still decoded (the look-ahead found nothing, the code did not need it); then the entry
// stops as cancelled and the window is written.
TEST(InflatePieces, ArchiveEndingEarlySetsCancel) {
  const std::vector<uint8_t> lengths = Lengths(258, {{'a', 1},
                                                     {'b', 2},
                                                     {'c', 3},
                                                     {'d', 4},
                                                     {'e', 5},
                                                     {'f', 6},
                                                     {'g', 7},
                                                     {'h', 8},
                                                     {256, 9},
                                                     {257, 9}});
  std::vector<uint32_t> body(1000, 'a');
  body.push_back(256);
  std::vector<uint8_t> all = lengths;
  all.push_back(1);
  BitWriter header;
  DynamicHeader(header, true, 258, 1, Literally(all));
  const std::vector<uint8_t> stream = DynamicBlock(true, lengths, {1}, body);
  for (int64_t cut : {int64_t(stream.size()) - 100, int64_t(stream.size()) - 1}) {
    EntryOptions options;
    options.cutAt = cut;
    const Decoded d = DecodeEntry(stream, options);
    EXPECT_TRUE(d.cancelRequested);
    EXPECT_EQ(d.outcome, Outcome::Cancelled);
    // Every symbol whose 9-bit look-ahead was there, and the one after it.
    const size_t available = size_t(8 * cut) - header.BitCount();
    EXPECT_EQ(d.bytes, std::vector<uint8_t>(available - 7, 'a')) << cut;
  }

  // In the middle of real data: whatever was flushed is the beginning of the data.
  const std::vector<uint8_t> text = TextData(300000);
  EntryOptions options;
  options.cutAt = 50000;
  const Decoded d = DecodeEntry(ZlibDeflate(text, 6, Z_DEFAULT_STRATEGY), options);
  EXPECT_TRUE(d.cancelRequested);
  EXPECT_NE(d.outcome, Outcome::Complete);
  EXPECT_GE(d.bytes.size(), 32768u);
  EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), text.begin()));
}

// Where a cancel takes effect: pressed during the message step of a flush, it stops the
// decoder before the next symbol, or after the chunk of a match that filled the window; the
// rest of that match is not written.
struct CancelCase {
  const char* name;
  std::vector<uint8_t> stream;
  int pressAt;  // message step, counting from 1
  size_t written;
  friend void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }
};

class CancelPoint : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelPoint, StopsAtTheFlushThatSawIt) {
  const CancelCase& c = GetParam();
  EntryOptions options;
  options.onPump = [&](int pump) {
    if (pump == c.pressAt) CancelRequested = true;
  };
  const Decoded d = DecodeEntry(c.stream, options);
  EXPECT_EQ(d.outcome, Outcome::Cancelled);
  EXPECT_EQ(d.bytes.size(), c.written);
  EXPECT_EQ(d.writes, std::vector<uint32_t>(c.written / 32768, 32768));
}

// A stored block of `n` bytes 'x' (not final) followed by a fixed block with `body`.
std::vector<uint8_t> StoredThenFixed(uint32_t n, const std::vector<uint32_t>& body) {
  BitWriter w;
  w.Bits(0, 3);
  w.AlignToByte();
  w.Bits(n, 16);
  w.Bits(~n & 0xFFFF, 16);
  for (uint32_t i = 0; i < n; ++i) w.Bits('x', 8);
  AddFixedBlock(w, true, body);
  return w.Finish();
}

INSTANTIATE_TEST_SUITE_P(
    Inflate, CancelPoint,
    ::testing::Values(
        CancelCase{"MatchAcrossTheWindowEnd", StoredThenFixed(32766, {285, 0, 0, 0, 'y', 256}), 1,
                   32768},
        CancelCase{"LiteralFillsTheWindow", StoredThenFixed(32767, {'y', 'z', 256}), 1, 32768},
        CancelCase{"InsideAStoredBlock", StoredThenFixed(40000, {256}), 1, 32768},
        CancelCase{"SecondWindow", ZlibDeflate(TextData(200000), 6, Z_DEFAULT_STRATEGY), 2, 65536},
        CancelCase{"LongMatches", ZlibDeflate(std::vector<uint8_t>(300000, 'r'), 9, 0), 3, 98304}),
    [](const auto& info) { return std::string(info.param.name); });

// Without a cancel the same streams run to their end.
TEST(CancelPoint, SameStreamsWithoutCancel) {
  const Decoded d = DecodeEntry(StoredThenFixed(32766, {285, 0, 0, 0, 'y', 256}));
  EXPECT_EQ(d.outcome, Outcome::Complete);
  EXPECT_EQ(d.bytes.size(), 32766u + 258 + 1);
  EXPECT_EQ(d.writes, (std::vector<uint32_t>{32768, 257}));
}

// An encrypted entry decrypts with one running key state across its pieces.
TEST(InflateEncrypted, EntryOfSeveralPieces) {
  for (const auto& data : {RandomData(100000, 9), TextData(500000)}) {
    const std::vector<uint8_t> stream = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    ASSERT_GT(stream.size(), 32768u);
    EntryOptions options;
    options.password = "pass word";
    const Decoded d = DecodeEntry(stream, options);
    EXPECT_EQ(d.outcome, Outcome::Complete);
    EXPECT_TRUE(d.bytes == data);
  }
}

// No memory for a buffer or a table, at each allocation in turn: the entry ends quietly with
// whatever was flushed before, and nothing leaks (LeakSanitizer checks at exit).
int allocationsLeft = 0;
void* FailingAllocate(size_t size) {
  return allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
}

TEST(InflateMemory, EveryAllocationMayFail) {
  const std::vector<uint8_t> text = TextData(100000);
  BitWriter fixedThenDynamic;
  AddFixedBlock(fixedThenDynamic, false, {'a', 256});
  const std::vector<std::vector<uint8_t>> streams = {
      ZlibDeflate(text, 6, Z_DEFAULT_STRATEGY), ZlibDeflate(text, 6, Z_FIXED),
      DynamicBlock(true, kFour, {1}, {'a', 'b', 256}, fixedThenDynamic)};
  for (const auto& stream : streams) {
    for (int n = 0;; ++n) {
      allocationsLeft = n;
      void* (*const previous)(size_t) = DecoderAllocate;
      DecoderAllocate = FailingAllocate;
      const Decoded d = DecodeEntry(stream);
      DecoderAllocate = previous;
      if (d.outcome == Outcome::Complete) break;
      EXPECT_EQ(d.outcome, Outcome::OutOfMemory) << n;
      EXPECT_TRUE(d.result);
      ASSERT_LT(n, 100);
    }
  }
}

// Only methods 0 and 8 are decoded; any other is refused with a message, and nothing is read.
TEST(DecompressEntry, UnknownMethodIsRefused) {
  for (uint16_t method : {1, 9, 12, 14, 98}) {
    EntryOptions options;
    options.method = method;
    const Decoded d = DecodeEntry(ZlibDeflate(TextData(1000), 6, 0), options);
    EXPECT_FALSE(d.result);
    EXPECT_TRUE(d.writes.empty());
    EXPECT_EQ(d.endPosition, 0);
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].text, kMsgUnknownMethod);
    EXPECT_EQ(d.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(d.messages[0].path, "");
  }
}

}  // namespace
