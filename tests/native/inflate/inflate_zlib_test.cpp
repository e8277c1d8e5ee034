// zlib as the oracle: whatever zlib's deflate makes of real and synthetic data, at every level
// and strategy, in many small blocks or one huge one, decodes to the same bytes and CRC-32,
// written in whole windows.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"

using namespace inflate_testing;

namespace {

enum class Kind { Text, Binary, Runs, Random, Mixed, Pattern };

struct ZlibCase {
  std::string name;
  Kind kind;
  size_t size;
  int level;
  int strategy = Z_DEFAULT_STRATEGY;
  size_t flushEvery = 0;
  int flush = Z_NO_FLUSH;
  friend void PrintTo(const ZlibCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<uint8_t> Data(Kind kind, size_t size) {
  switch (kind) {
    case Kind::Text:
      return TextData(size);
    case Kind::Binary:
      return BinaryData(size);
    case Kind::Runs:
      return RunData(size, 7);
    case Kind::Random:
      return RandomData(size, 3);
    case Kind::Pattern:
      for (std::vector<uint8_t> out; true; out.push_back(uint8_t("abc"[out.size() % 3])))
        if (out.size() == size) return out;
    case Kind::Mixed:
      break;
  }
  // Quarters of each kind: blocks switch between stored, fixed and dynamic codes.
  std::vector<uint8_t> out;
  for (Kind k : {Kind::Text, Kind::Random, Kind::Binary, Kind::Runs}) {
    std::vector<uint8_t> part = Data(k, size / 4 + 1);
    out.insert(out.end(), part.begin(), part.end());
  }
  out.resize(size);
  return out;
}

class ZlibRoundTrip : public ::testing::TestWithParam<ZlibCase> {};

TEST_P(ZlibRoundTrip, SameBytesAndCrcInWholeWindows) {
  const ZlibCase& c = GetParam();
  const std::vector<uint8_t> data = Data(c.kind, c.size);
  const std::vector<uint8_t> stream = ZlibDeflate(data, c.level, c.strategy, c.flushEvery, c.flush);

  const Decoded d = DecodeEntry(stream);

  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.outcome, InflateOutcome::Complete);
  ASSERT_EQ(d.bytes.size(), data.size());
  EXPECT_TRUE(d.bytes == data) << "first difference at "
                               << std::mismatch(data.begin(), data.end(), d.bytes.begin()).first -
                                      data.begin();
  EXPECT_EQ(d.crc, testing_support::ZlibCrc32(data));
  EXPECT_EQ(d.bytesDone, data.size());
  for (size_t i = 0; i + 1 < d.writes.size(); ++i) EXPECT_EQ(d.writes[i], 32768u) << i;
  if (!data.empty()) EXPECT_EQ(d.writes.back(), (data.size() - 1) % 32768 + 1);
  EXPECT_FALSE(d.cancelRequested);
  EXPECT_EQ(d.endPosition, int64_t(stream.size())) << "the stream fills the entry's data";
}

std::vector<ZlibCase> Cases() {
  const struct {
    const char* name;
    Kind kind;
  } kinds[] = {{"Text", Kind::Text},
               {"Binary", Kind::Binary},
               {"Runs", Kind::Runs},
               {"Random", Kind::Random},
               {"Mixed", Kind::Mixed}};
  std::vector<ZlibCase> cases;
  for (const auto& k : kinds) {
    for (int level = 0; level <= 9; ++level)
      cases.push_back(
          {std::string(k.name) + "Level" + std::to_string(level), k.kind, 150000, level});
    const struct {
      const char* name;
      int strategy;
    } strategies[] = {{"Filtered", Z_FILTERED},
                      {"HuffmanOnly", Z_HUFFMAN_ONLY},
                      {"Rle", Z_RLE},
                      {"Fixed", Z_FIXED}};
    for (const auto& s : strategies)
      cases.push_back({std::string(k.name) + s.name, k.kind, 140000, 6, s.strategy});
    // Many small blocks: empty stored blocks (sync flush), empty fixed blocks (partial flush),
    // a fresh dictionary every 1000 bytes (full flush), bare block ends.
    cases.push_back({std::string(k.name) + "SyncFlush", k.kind, 70000, 6, 0, 997, Z_SYNC_FLUSH});
    cases.push_back(
        {std::string(k.name) + "PartialFlush", k.kind, 70000, 6, 0, 301, Z_PARTIAL_FLUSH});
    cases.push_back({std::string(k.name) + "FullFlush", k.kind, 70000, 9, 0, 1000, Z_FULL_FLUSH});
    cases.push_back({std::string(k.name) + "BlockFlush", k.kind, 70000, 1, 0, 64, Z_BLOCK});
  }
  // Sizes around the window: nothing, one byte, a window less or more one, exactly four.
  for (size_t size : {0, 1, 32767, 32768, 32769, 131072, 131073})
    cases.push_back({"TextSize" + std::to_string(size), Kind::Text, size, 6});
  // One block covering megabytes: nearly every symbol a match of 258.
  cases.push_back({"HugeBlock", Kind::Pattern, 3 << 20, 9});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Zlib, ZlibRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
