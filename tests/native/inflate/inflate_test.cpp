// The decoder and its output side, against oracles: zlib's deflate at every level, strategy and
// flush kind on real and random data; zlib's inflate on random codes of up to 15 bits; hand-made
// streams for what zlib never writes (each corrupt-data reason, cancels, archives cut short);
// every allocation failing in turn; stored and encrypted entries in pieces, short reads and
// full disks; the sliced CRC-32, the check byte of the traditional encryption, the percentage.
#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <optional>
#include <random>

#include "tests/support/core_harness.h"
#include "tests/support/files.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/container/zip_records.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/huffman_table.h"
#include "unpacker/inflate/inflate.h"
#include "unpacker/inflate/native/native_output_file.h"
#include "unpacker/inflate/output_window.h"
#include "unpacker/crypto/cpu_features.h"
#include "unpacker/crypto/entry_cipher.h"
#include "unpacker/crypto/zip_crypto.h"

using namespace testing_support;
using Ends = InflateOutcome;
using Data = std::vector<uint8_t>;

namespace {

struct EntryOptions {
  uint16_t method = 8;
  std::string password;        // non-empty: encrypted, the check byte from a CRC-32 of 0
  int64_t cutAt = -1;          // >= 0: the program file ends this many bytes into the data
  int64_t more = 0;            // the entry claims this many bytes more than the data has
  size_t capacity = SIZE_MAX;  // the disk is full after so many bytes
  int pressAt = 0;             // the message step (from 1) that sees a cancel; -1: every one
};

struct Decoded {
  size_t capacity;
  bool result;
  Ends outcome;
  Data bytes;
  std::vector<uint32_t> writes;  // the count handed to each write
  uint32_t crc;                  // RunningCrc ^ 0xFFFFFFFF
  uint64_t bytesDone;            // BytesDone less the 7 it starts from
  int pumps;
  int32_t percent;
  bool cancelRequested;
  int64_t endPosition;  // the archive position afterwards, relative to the data
  int exitCode;         // the run's, as recorded by the decoder
};

// Makes `data` the stored bytes of the current entry, alone in the program file, and decodes it
// into a file that keeps what it is given.
Decoded Decode(const Data& data, const EntryOptions& o = {}) {
  Data stored = o.password.empty() ? data : EncryptTraditional(data, o.password, 0);
  const int64_t start = int64_t(stored.size() - data.size());
  if (o.cutAt >= 0) stored.resize(size_t(start + o.cutAt));
  ProgramFile file(stored);
  BuildCrcTable();
  LocalHeader.Method = o.method;
  LocalHeader.Flags = start != 0;
  uint8_t header[24];
  uint32_t got;
  ReadArchive(header + 12, 12, &got);
  if (start && !CheckEncryptionHeader(header, 12, 1, ByteString(o.password.c_str()), 0, 0))
    throw std::runtime_error("refused");
  BeginEntryDecryption(WalkedEntry{});
  SeekArchive(start, SeekFromBegin);
  EntryRemaining = int64_t(data.size()) + o.more;
  BytesTotal = 3 * data.size() + 1;
  BytesDone = 7;
  onPumpOneMessage = [&] { CancelRequested |= pumpCount == o.pressAt || o.pressAt < 0; };
  Decoded d{.capacity = o.capacity};
  OutputFile out{[](void* context, const void* p, uint32_t count) {
                   Decoded& d = *static_cast<Decoded*>(context);
                   d.writes.push_back(count);
                   const size_t room = std::min<size_t>(count, d.capacity - d.bytes.size());
                   d.bytes.insert(d.bytes.end(), (const uint8_t*)p, (const uint8_t*)p + room);
                   return uint32_t(room);
                 },
                 &d};
  OutputHandle = &out;
  RunningCrc = 0xFFFFFFFF;
  LastInflateOutcome = Ends::Complete;
  d.result = DecompressEntry();
  ReleaseDecoderMemory();  // the next decode takes fresh (poisoned, or failing) buffers
  d.outcome = LastInflateOutcome;
  d.crc = RunningCrc ^ 0xFFFFFFFF;
  d.bytesDone = BytesDone - 7;
  d.pumps = pumpCount;
  d.percent = ProgressPercent;
  d.cancelRequested = CancelRequested;
  d.endPosition = ArchiveFileSeek(ArchiveHandle, 0, SeekFromCurrent) - start;
  d.exitCode = ExitCode(Outcome);
  return d;
}

// Real data found on every machine the tests run on, repeated to size: a licence text and this
// test program's own executable; and pseudo-random bytes.
Data Repeat(const char* path, size_t size) {
  const std::string source = ReadText(path);
  Data out;
  while (out.size() < size)
    out.insert(out.end(), source.begin(),
               source.begin() + int64_t(std::min(source.size(), size - out.size())));
  return out;
}
Data TextData(size_t size) {
  return Repeat("/usr/share/common-licenses/GPL-3", size);
}
Data BinaryData(size_t size) {
  return Repeat("/proc/self/exe", size);
}
Data RandomData(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  Data out(size);
  for (uint8_t& b : out) b = uint8_t(random());
  return out;
}

// Whatever zlib's deflate makes of real and random data, at every level and strategy, in many
// small blocks (empty stored ones from a sync flush, empty fixed ones from a partial flush, a
// fresh dictionary every 1000 bytes, bare block ends) or one block of megabytes, decodes to the
// same bytes and CRC-32, written in whole windows. Each stream is also decoded stored, plain
// and encrypted (pieces of 32768, one message step each, a cancel at every step not stopping
// the copy), and with a size that claims more than the file has: the stream's last code never
// makes the decoder look for bits behind it, so the short file goes unnoticed.
TEST(Inflate, ZlibStreamsDecodeToTheirDataInWholeWindows) {
  std::vector<std::pair<Data, Data>> cases;  // data, stream
  for (const Data& data : {TextData(150000), BinaryData(150000), RandomData(150000, 3)}) {
    for (int level = 0; level <= 9; ++level) cases.push_back({data, RawDeflate(data, level)});
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      cases.push_back({data, RawDeflate(data, 6, strategy)});
    const Data part(data.begin(), data.begin() + 70000);
    for (const auto& [flush, every] : {std::pair{Z_SYNC_FLUSH, 997},
                                       {Z_PARTIAL_FLUSH, 301},
                                       {Z_FULL_FLUSH, 1000},
                                       {Z_BLOCK, 64}})
      cases.push_back({part, RawDeflate(part, 6, Z_DEFAULT_STRATEGY, flush, size_t(every))});
  }
  for (size_t size : {0, 1, 32767, 32768, 32769, 131072, 131073})
    cases.push_back({TextData(size), RawDeflate(TextData(size))});
  Data pattern(3 << 20);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t("abc"[i % 3]);
  cases.push_back({pattern, RawDeflate(pattern, 9)});

  for (const auto& [data, stream] : cases) {
    SCOPED_TRACE(testing::Message() << data.size() << " bytes in " << stream.size());
    for (const auto& [method, input, options] :
         {std::tuple<int, Data, EntryOptions>{8, stream, {}},
          {8, stream, {.cutAt = int64_t(stream.size()), .more = 1000}},
          {0, data, {.pressAt = -1}},
          {0, data, {.password = "pw", .pressAt = -1}}}) {
      EntryOptions o = options;
      o.method = uint16_t(method);
      const Decoded d = Decode(input, o);
      ASSERT_TRUE(d.result && d.outcome == Ends::Complete);
      EXPECT_TRUE(d.bytes == data);
      EXPECT_EQ(d.crc, ZlibCrc32(data));
      EXPECT_EQ(d.bytesDone, data.size());
      EXPECT_EQ(d.pumps, int(d.writes.size()));
      EXPECT_EQ(d.percent, data.empty() ? 0 : PercentOf(7 + data.size(), 3 * input.size() + 1));
      for (size_t i = 0; i + 1 < d.writes.size(); ++i) EXPECT_EQ(d.writes[i], 32768u);
      EXPECT_EQ(d.cancelRequested, method == 0 && !data.empty());
      EXPECT_EQ(d.endPosition, int64_t(input.size())) << "the stream fills the entry's data";
    }
  }
}

// Short reads and writes, for the stored copy and the decoder's windows alike: a piece that
// comes back short ends a stored entry and is neither written nor counted; a write that falls
// short moves progress and CRC-32 by the bytes it reports, so the entry fails its check.
TEST(OutputWindow, ProgressAndCrcFollowTheBytesWritten) {
  const struct {
    uint16_t method;
    int64_t cutAt = -1;
    size_t capacity = SIZE_MAX, written;
    std::vector<uint32_t> writes;
  } cases[] = {
      {.method = 0, .cutAt = 50000, .written = 32768, .writes = {32768}},
      {.method = 0, .capacity = 50000, .written = 50000, .writes = {32768, 32768, 32768, 1696}},
      {.method = 8, .capacity = 50000, .written = 50000, .writes = {32768, 32768, 32768, 1696}},
  };
  const Data data = BinaryData(100000);
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const Decoded d = Decode(c.method == 8 ? RawDeflate(data) : data,
                             {.method = c.method, .cutAt = c.cutAt, .capacity = c.capacity});
    const Data written(data.begin(), data.begin() + int64_t(c.written));
    EXPECT_TRUE(d.result);
    EXPECT_TRUE(d.bytes == written);
    EXPECT_EQ(d.crc, ZlibCrc32(written));
    EXPECT_EQ(d.writes, c.writes);
    EXPECT_EQ(d.bytesDone, c.written);
  }
}

// Canonical prefix codes for the given lengths (0 = unused).
std::vector<uint32_t> CanonicalCodes(const Data& lengths) {
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
  Data bytes;
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
  Data Finish() { return count ? Bits(0, 8 - count).bytes : bytes; }

  // A dynamic block header sending code-length `symbols` (16, 17 and 18 each followed by the
  // value of its extra bits) with the code-length code `codeLengthCode` (19 lengths in symbol
  // order; empty: a complete code of 4- and 5-bit codes).
  BitWriter& Header(bool final, uint32_t nl, uint32_t nd, const std::vector<uint32_t>& symbols,
                    Data codeLengthCode = {}) {
    if (codeLengthCode.empty()) {
      codeLengthCode.assign(19, 4);
      for (int s : {13, 14, 15, 16, 17, 18}) codeLengthCode[s] = 5;
    }
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengthCode);
    Bits(final, 1).Bits(2, 2).Bits(nl - 257, 5).Bits(nd - 1, 5).Bits(19 - 4, 4);
    for (uint8_t s : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
      Bits(codeLengthCode[s], 3);
    for (size_t i = 0; i < symbols.size(); ++i) {
      Code(codes[symbols[i]], codeLengthCode[symbols[i]]);
      if (symbols[i] >= 16) Bits(symbols[i + 1], symbols[i] == 18 ? 7 : symbols[i] - 14), ++i;
    }
    return *this;
  }

  // A block body: literal/length symbols, each length symbol followed by its extra bits value,
  // a distance symbol and its extra bits value (a body may end after a length's extra bits).
  BitWriter& Body(const Data& literalLengths, const Data& distanceLengths,
                  const std::vector<uint32_t>& body) {
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
    Data lengths(288, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    return Bits(final, 1).Bits(1, 2).Body(lengths, Data(32, 5), body);
  }

  // Sends the code lengths literally.
  BitWriter& Dynamic(bool final, const Data& literalLengths, const Data& distanceLengths,
                     const std::vector<uint32_t>& body) {
    std::vector<uint32_t> symbols(literalLengths.begin(), literalLengths.end());
    symbols.insert(symbols.end(), distanceLengths.begin(), distanceLengths.end());
    Header(final, uint32_t(literalLengths.size()), uint32_t(distanceLengths.size()), symbols);
    return Body(literalLengths, distanceLengths, body);
  }

  BitWriter& Stored(bool final, const Data& data) {
    Bits(final, 3).Bits(0, (8 - count) % 8);
    Bits(uint32_t(data.size()), 16).Bits(~uint32_t(data.size()), 16);
    for (uint8_t b : data) Bits(b, 8);
    return *this;
  }
};

Data Fixed(const std::vector<uint32_t>& body, bool final = true) {
  return BitWriter().Fixed(final, body).Finish();
}
Data Dynamic(const Data& literalLengths, const Data& distanceLengths,
             const std::vector<uint32_t>& body) {
  return BitWriter().Dynamic(true, literalLengths, distanceLengths, body).Finish();
}
// A dynamic header (257 + 1 lengths) sent with this code-length code, then `tailBits` bits.
Data Header(Data codeLengthCode, std::vector<uint32_t> symbols, uint32_t tail = 0,
            int tailBits = 0) {
  return BitWriter().Header(true, 257, 1, symbols, codeLengthCode).Bits(tail, tailBits).Finish();
}
// A stored block of n bytes 'x' (not final), then a fixed block with `body`.
Data StoredThenFixed(uint32_t n, const std::vector<uint32_t>& body) {
  return BitWriter().Stored(false, Data(n, 'x')).Fixed(true, body).Finish();
}
Data Lengths(size_t n, std::initializer_list<std::pair<int, int>> set) {
  Data lengths(n, 0);
  for (auto [symbol, length] : set) lengths[symbol] = uint8_t(length);
  return lengths;
}

// Complete 288 and 32 codes, with the symbols that have no meaning (286, 287, 30, 31).
const Data kAll288 = [] {
  Data l(288, 8);
  std::fill(l.begin() + 224, l.end(), 9);
  return l;
}();
const Data kAll32(32, 5);
// 'a', 'b', the end code and length 3 (symbol 257), two bits each.
const Data kFour = Lengths(258, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}});

// What each stream decodes to, and why the entry ended. A failure writes nothing of the window
// it happened in. A cancel pressed during the message step of a flush stops the decoder before
// the next symbol, or after the chunk of a match that filled the window; the rest of that match
// is not written. When the archive ends inside the entry, CancelRequested is set: every code
// whose 9-bit look-ahead was there is decoded, and the one after it; then the window is
// written. Each stream is decoded as it is (its last symbols near the end of the data), with
// 16 bytes behind it, so that the word-wide path decodes them too, and, when complete, in a
// file shorter than the entry.
TEST(Inflate, HandMadeStreamsDecodeAndEndAsExpected) {
  struct Case {
    Data stream;
    Ends outcome;
    std::string output = "";
    int pressAt = 0;
    int64_t cutAt = -1;
  };
  std::vector<Case> cases = {
      {BitWriter().Stored(false, {'h', 'i'}).Fixed(true, {'!', 256}).Finish(), Ends::Complete,
       "hi!"},
      {Fixed({'a', 285, 0, 0, 0, 256}), Ends::Complete, std::string(259, 'a')},
      // A longest match 17 back, one byte before the end of the decoder's output memory: its
      // word copies run past the match by the most they may.
      {BitWriter()
           .Stored(false, Data(65535, 'x'))
           .Stored(false, Data(65535, 'x'))
           .Fixed(true, {'x', 285, 0, 8, 0, 256})
           .Finish(),
       Ends::Complete, std::string(131329, 'x')},
      // The second block's match reaches into the first; the third reuses the fixed tables.
      {BitWriter()
           .Fixed(false, {'a', 'b', 256})
           .Fixed(false, {258, 0, 1, 0, 256})
           .Fixed(true, {'c', 256})
           .Finish(),
       Ends::Complete, "abababc"},
      // A repeat code first repeats length 0; then 'a' and the end code, one bit each.
      {Header({}, {16, 3, 18, 80, 1, 18, 127, 18, 9, 1, 1}, 0b100, 3), Ends::Complete, "aa"},
      {Dynamic(kAll288, kAll32, {'x', 257, 0, 0, 0, 256}), Ends::Complete, "xxxx"},
      {Dynamic(kFour, {1}, {'a', 'b', 257, 0, 0, 0, 256}), Ends::Complete, "abbbb"},
      {Dynamic(kFour, {0}, {'b', 'a', 256}), Ends::Complete, "ba"},
      {{0x07}, Ends::InvalidBlockType},
      {{0x01, 0x02, 0x00, 0xFC, 0xFF, 'h', 'i'}, Ends::StoredLengthMismatch},
      {Header(Lengths(19, {{0, 2}, {1, 2}}), {}), Ends::BadCodeLengthCode},
      {Header(Lengths(19, {{0, 1}, {1, 1}, {2, 1}}), {}), Ends::BadCodeLengthCode},
      {Header(Lengths(19, {}), {}), Ends::BadCodeLengthCode},
      // One one-bit code counts as complete; its other pattern is no code.
      {Header(Lengths(19, {{8, 1}}), {}, 1, 1), Ends::InvalidCode},
      {Header({}, {18, 127, 18, 127}), Ends::CodeLengthRepeatOverrun},
      {Dynamic(Lengths(257, {{'a', 1}, {256, 2}}), {1}, {}), Ends::BadLiteralLengthCode},
      {Dynamic(Lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), {1}, {}), Ends::BadLiteralLengthCode},
      {Dynamic(Lengths(257, {}), {1}, {}), Ends::BadLiteralLengthCode},
      {Dynamic(kFour, {1, 1, 1}, {}), Ends::BadDistanceCode},
      {Dynamic(kAll288, kAll32, {'x', 286, 0, 0, 0}), Ends::InvalidCode},
      {Dynamic(kAll288, kAll32, {'x', 257, 0, 30, 0}), Ends::InvalidCode},
      {Fixed({'x', 257, 0, 30, 0}), Ends::InvalidCode},
      {BitWriter().Dynamic(true, kFour, {1}, {'a', 257, 0}).Bits(1, 1).Finish(), Ends::InvalidCode},
      {Dynamic(kFour, {0}, {'a', 257, 0, 0, 0}), Ends::LengthWithoutDistances},
      {Fixed({'a', 257, 0, 1, 0, 256}), Ends::DistanceTooFar},
      {Fixed({'a', 256}, false), Ends::InputExhausted},
      // Cancels: a match across the window end, a literal that fills the window, a stored
      // block, long matches.
      {StoredThenFixed(32766, {285, 0, 0, 0, 'y', 256}), Ends::Cancelled, std::string(32768, 'x'),
       1},
      {StoredThenFixed(32767, {'y', 'z', 256}), Ends::Cancelled, std::string(32767, 'x') + "y", 1},
      {StoredThenFixed(40000, {256}), Ends::Cancelled, std::string(32768, 'x'), 1},
      {RawDeflate(Data(300000, 'r'), 9), Ends::Cancelled, std::string(98304, 'r'), 3},
  };
  // A 6-bit end code behind 0 to 7 nine-bit literals, so that one of them ends the stream with
  // no bits to spare: the root is cut to 6 bits, and the end code needs no look-ahead behind it.
  Data shortEnd(258, 8);
  std::fill(shortEnd.begin() + 247, shortEnd.end(), 9);
  shortEnd[256] = 6;
  for (size_t k = 0; k < 8; ++k) {
    std::vector<uint32_t> body(k, 255);
    body.push_back(256);
    cases.push_back({Dynamic(shortEnd, {1}, body), Ends::Complete, std::string(k, '\xFF')});
  }
  // Every prefix of a valid stream (but the whole) runs out of data before the end code.
  const Data whole = Fixed({'a', 'b', 258, 0, 1, 0, 256});
  for (size_t n = 0; n < whole.size(); ++n)
    cases.push_back({{whole.begin(), whole.begin() + n}, Ends::InputExhausted});
  // 'a' to 'i' have codes of 1 to 9 bits, the end code and length 3 of 10: 1000 one-bit codes.
  Data nine(258, 0);
  for (int i = 0; i < 9; ++i) nine['a' + i] = uint8_t(i + 1);
  nine[256] = nine[257] = 10;
  const size_t headerBits = BitWriter().Dynamic(true, nine, {1}, {}).BitCount();
  const Data as = Dynamic(nine, {1}, std::vector<uint32_t>(1000, 'a'));
  for (size_t cut : {as.size() - 100, as.size() - 1})
    cases.push_back({.stream = as,
                     .outcome = Ends::Cancelled,
                     .output = std::string(8 * cut - headerBits - 7, 'a'),
                     .cutAt = int64_t(cut)});

  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases.data()));
    Data padded = c.stream;
    padded.resize(padded.size() + 16);
    const Data output(c.output.begin(), c.output.end());
    std::vector<uint32_t> writes(output.size() / 32768, 32768);
    if (output.size() % 32768) writes.push_back(uint32_t(output.size() % 32768));
    const int passes = c.outcome == Ends::InputExhausted ? 1 : 2 + (c.outcome == Ends::Complete);
    for (int pass = 0; pass < passes; ++pass) {
      SCOPED_TRACE(pass);
      const int64_t cutAt = pass == 2 ? int64_t(c.stream.size()) : c.cutAt;
      const Decoded d =
          Decode(pass == 1 ? padded : c.stream,
                 {.cutAt = cutAt, .more = pass == 2 ? 1000 : 0, .pressAt = c.pressAt});
      EXPECT_TRUE(d.result) << "the decoder never refuses a deflated entry";
      EXPECT_EQ(d.outcome, c.outcome);
      EXPECT_TRUE(d.bytes == output);
      EXPECT_EQ(d.crc, ZlibCrc32(output));
      EXPECT_EQ(d.writes, writes);
      EXPECT_EQ(d.cancelRequested, c.outcome == Ends::Cancelled);
    }
  }
}

// A root is never wider than asked, which the fast path needs (after three literals of one
// refill it holds just the bits of the next root lookup): here the 4-bit codes go to a sub-table.
TEST(HuffmanTable, RootIsNeverWiderThanAsked) {
  const uint8_t lengths[] = {3, 3, 3, 3, 3, 3, 3, 4, 4};
  HuffEntry *root, *chain;
  uint32_t width = 3;
  BuildHuffmanTable(lengths, 9, 9, nullptr, nullptr, 0, &root, &chain, &width);
  EXPECT_EQ(width, 3u);
  FreeHuffmanTables(chain);
}

// Buffers and tables come poisoned, so an entry the table builder never writes shows; while
// allocationsLeft lasts.
int allocationsLeft = INT_MAX;
void* PoisonedAllocate(size_t size) {
  void* p = allocationsLeft-- > 0 ? std::malloc(size) : nullptr;
  return p ? std::memset(p, 0xA5, size) : p;
}

// No memory for a buffer or a table, at each allocation in turn: the entry ends quietly, the
// run's exit code will say why, and nothing leaks (LeakSanitizer checks at exit).
TEST(Inflate, EveryAllocationMayFail) {
  const Data text = TextData(100000);
  DecoderAllocate = PoisonedAllocate;
  for (const Data& stream :
       {RawDeflate(text), RawDeflate(text, 6, Z_FIXED),
        BitWriter().Fixed(false, {'a', 256}).Dynamic(true, kFour, {1}, {'a', 'b', 256}).Finish()}) {
    for (int n = 0;; ++n) {
      allocationsLeft = n;
      const Decoded d = Decode(stream);
      if (d.outcome == Ends::Complete) break;
      EXPECT_EQ(d.outcome, Ends::OutOfMemory) << n;
      EXPECT_TRUE(d.result);
      EXPECT_EQ(d.exitCode, 8) << "the run ends with the code for no memory";
      ASSERT_LT(n, 100);
    }
  }
  allocationsLeft = INT_MAX;
}

// A random complete code over n (>= 2) symbols, of up to 15 bits: leaves split at random.
Data RandomCode(std::mt19937& random, size_t n) {
  Data leaves = {1, 1}, lengths(n, 0);
  while (leaves.size() < 2 + random() % (n - 1)) {
    const size_t i = random() % leaves.size();
    if (leaves[i] < 15) leaves.push_back(++leaves[i]);
  }
  std::copy(leaves.begin(), leaves.end(), lengths.begin());
  std::shuffle(lengths.begin(), lengths.end(), random);
  return lengths;
}

// Random literal/length and distance codes of up to 15 bits, behind 32768 bytes of history:
// every symbol with a code used once, in random order, with random extra bits; the decoder and
// zlib agree on every stream.
TEST(Inflate, RandomCodesDecodeAsZlibDecodesThem) {
  std::mt19937 random(42);
  DecoderAllocate = PoisonedAllocate;
  for (int round = 0; round < 300; ++round) {
    const Data literals = RandomCode(random, 257 + random() % 30),
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
    const Data stream = BitWriter()
                            .Stored(false, RandomData(32768, round))
                            .Dynamic(true, literals, distances, body)
                            .Finish();
    const std::optional<Data> expected = RawInflate(stream.data(), stream.size());
    ASSERT_TRUE(expected) << round;
    const Decoded d = Decode(stream);
    EXPECT_EQ(d.outcome, Ends::Complete) << round;
    ASSERT_TRUE(d.bytes == *expected) << round;
  }
}

// Rounded half to even and at most 100, 0 of nothing: against exact 128-bit arithmetic, for
// chosen and random 64-bit pairs. (kMax / 200) * 100 / kMax is just below 0.5, where double
// rounding would say 1.
TEST(PercentOf, RoundsHalfToEvenForAll64BitSizes) {
  constexpr uint64_t kMax = UINT64_MAX;
  std::vector<std::pair<uint64_t, uint64_t>> pairs = {{kMax, 1}, {0, 0},     {5, 0},
                                                      {1, 200},  {199, 200}, {11, 10}};
  for (uint64_t done : {kMax / 200, kMax / 200 + 1, kMax / 2, kMax - 1})
    pairs.push_back({done, kMax});
  std::mt19937_64 random(5);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t total = (random() >> (random() % 64)) | 1;
    pairs.push_back({random() % (total + 1), total});
  }
  for (const auto& [done, total] : pairs) {
    const unsigned __int128 scaled = (unsigned __int128)done * 100;
    const unsigned __int128 q = total ? scaled / total : 0, twice = total ? scaled % total * 2 : 0;
    const unsigned __int128 rounded = q + (twice > total || (twice == total && (q & 1)));
    ASSERT_EQ(PercentOf(done, total), int32_t(rounded > 100 ? 100 : rounded))
        << done << " / " << total;
  }
}

// The sliced buffer update gives what zlib and the byte-wise update give, at every length and
// alignment (the decodes above cover updates in pieces).
// Both the folding path (carry-less multiplication, where the processor has it) and the
// portable one; the long buffer runs the four-accumulator loop many times.
TEST(Crc32, SlicedUpdateEqualsByteWiseAndZlib) {
  BuildCrcTable();
  const Data data = RandomData(400, 11), longer = RandomData(100003, 12);
  for (const bool portable : {false, true}) {
    UsePortableCodeForTesting(portable);
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t length = 0; length + offset <= 316; ++length) {
        const uint8_t* p = data.data() + offset;
        uint32_t sliced = 0xFFFFFFFF, bytewise = 0xFFFFFFFF;
        UpdateCrcBuffer(p, int32_t(length), &sliced);
        for (size_t i = 0; i < length; ++i) bytewise = UpdateCrcByte(p[i], bytewise);
        ASSERT_EQ(sliced, bytewise) << offset << " " << length << " " << portable;
        ASSERT_EQ(sliced ^ 0xFFFFFFFF, crc32(0, p, uInt(length))) << offset << " " << length;
      }
    }
    uint32_t whole = 0xFFFFFFFF;
    UpdateCrcBuffer(longer.data() + 1, int32_t(longer.size() - 1), &whole);
    EXPECT_EQ(whole ^ 0xFFFFFFFF, crc32(0, longer.data() + 1, uInt(longer.size() - 1)));
  }
  UsePortableCodeForTesting(false);
}

// The stored header 10 11 .. 1B decrypts with "secret" to d8 c9 aa f0 08 0c 57 58 93 62 22 df:
// check byte 0xDF. Without flag bit 3 it is held against the CRC-32's high byte, with it
// against the modification time's high byte (not the date's), whatever the CRC-32 says. The
// stored header stays as it was.
TEST(ZipCrypto, CheckByteDecidesWhetherThePasswordFits) {
  BuildCrcTable();
  const struct {
    std::string password = "secret";
    uint16_t flags = 0;
    uint32_t dosDateTime = 0, crc = 0;
    bool fits;
  } cases[] = {
      {.crc = 0xDF000000, .fits = true},
      {.dosDateTime = 0xDF00, .crc = 0xDE0000DF, .fits = false},
      {.flags = 0x0008, .dosDateTime = 0x5A8BDF21, .fits = true},
      {.flags = 0x0009, .dosDateTime = 0x5A8B0021, .crc = 0xDF000000, .fits = false},
      {.flags = 0x0008, .dosDateTime = 0x00DF0000, .fits = false},
      {.password = "", .crc = 0xDF000000, .fits = false},
  };
  for (const auto& c : cases) {
    uint8_t block[24] = {};
    for (int i = 0; i < 12; ++i) block[12 + i] = uint8_t(0x10 + i);
    EXPECT_EQ(CheckEncryptionHeader(block, 12, c.flags, ByteString(c.password.c_str()),
                                    c.dosDateTime, c.crc),
              c.fits)
        << &c - cases;
    for (int i = 0; i < 12; ++i) EXPECT_EQ(block[12 + i], 0x10 + i);
  }
}

}  // namespace
