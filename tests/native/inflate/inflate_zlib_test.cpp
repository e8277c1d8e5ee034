// zlib as the oracle: whatever zlib's deflate makes of real and synthetic data, at every level
// and strategy, in many small blocks or one huge one, decodes to the same bytes and CRC-32,
// written in whole windows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"

using namespace inflate_testing;

namespace {

// zlib raw deflate with a flush of the given kind every `flushEvery` bytes.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level, int strategy,
                             size_t flushEvery, int flush) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) throw std::runtime_error("");
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 64 + data.size() / 8);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  size_t at = 0;
  do {
    const size_t piece = std::min(flushEvery ? flushEvery : data.size(), data.size() - at);
    z.next_in = const_cast<Bytef*>(data.data() + at);
    z.avail_in = uInt(piece);
    at += piece;
    const int mode = at == data.size() ? Z_FINISH : flush;
    if (deflate(&z, mode) != (mode == Z_FINISH ? Z_STREAM_END : Z_OK))
      throw std::runtime_error("deflate");
  } while (at < data.size());
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct ZlibCase {
  std::string name;
  std::vector<uint8_t> data;
  int level, strategy = Z_DEFAULT_STRATEGY;
  size_t flushEvery = 0;
  int flush = Z_NO_FLUSH;
  friend void PrintTo(const ZlibCase& c, std::ostream* os) { *os << c.name; }
};

class ZlibRoundTrip : public ::testing::TestWithParam<ZlibCase> {};

TEST_P(ZlibRoundTrip, SameBytesAndCrcInWholeWindows) {
  const ZlibCase& c = GetParam();
  const std::vector<uint8_t> stream = Deflate(c.data, c.level, c.strategy, c.flushEvery, c.flush);
  const Decoded d = DecodeEntry(stream);
  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.outcome, InflateOutcome::Complete);
  EXPECT_TRUE(d.bytes == c.data);
  EXPECT_EQ(d.crc, testing_support::ZlibCrc32(c.data));
  EXPECT_EQ(d.bytesDone, c.data.size());
  for (size_t i = 0; i + 1 < d.writes.size(); ++i) EXPECT_EQ(d.writes[i], 32768u) << i;
  EXPECT_FALSE(d.cancelRequested);
  EXPECT_EQ(d.endPosition, int64_t(stream.size())) << "the stream fills the entry's data";
}

std::vector<ZlibCase> Cases() {
  std::vector<ZlibCase> cases;
  // Quarters of text, random and binary data: blocks switch between stored, fixed and dynamic.
  std::vector<uint8_t> mixed = TextData(40000);
  for (const auto& part : {RandomData(40000, 3), BinaryData(40000), TextData(30000)})
    mixed.insert(mixed.end(), part.begin(), part.end());
  const std::pair<const char*, std::vector<uint8_t>> kinds[] = {{"Text", TextData(150000)},
                                                                {"Binary", BinaryData(150000)},
                                                                {"Random", RandomData(150000, 3)},
                                                                {"Mixed", mixed}};
  for (const auto& [kind, data] : kinds) {
    const std::string k = kind;
    for (int level = 0; level <= 9; ++level)
      cases.push_back({k + "Level" + std::to_string(level), data, level});
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      cases.push_back({k + "Strategy" + std::to_string(strategy), data, 6, strategy});
    // Many small blocks: empty stored blocks (sync flush), empty fixed blocks (partial flush),
    // a fresh dictionary every 1000 bytes (full flush), bare block ends.
    const std::vector<uint8_t> part(data.begin(), data.begin() + 70000);
    cases.push_back({k + "SyncFlush", part, 6, 0, 997, Z_SYNC_FLUSH});
    cases.push_back({k + "PartialFlush", part, 6, 0, 301, Z_PARTIAL_FLUSH});
    cases.push_back({k + "FullFlush", part, 9, 0, 1000, Z_FULL_FLUSH});
    cases.push_back({k + "BlockFlush", part, 1, 0, 64, Z_BLOCK});
  }
  // Sizes around the window: nothing, one byte, a window less or more one, exactly four.
  for (size_t size : {0, 1, 32767, 32768, 32769, 131072, 131073})
    cases.push_back({"TextSize" + std::to_string(size), TextData(size), 6});
  // One block covering megabytes: nearly every symbol a match of 258.
  std::vector<uint8_t> pattern(3 << 20);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t("abc"[i % 3]);
  cases.push_back({"HugeBlock", pattern, 9});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Zlib, ZlibRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
