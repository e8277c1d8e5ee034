// The output side: percentages exact for all 64-bit sizes, the stored copy in pieces of 32768
// with one message step each, and the CRC-32 and progress covering only what was written.
#include "unpacker/inflate/output_window.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/shared_state.h"

using namespace inflate_testing;

namespace {

struct PercentCase {
  uint64_t done, total;
  int32_t percent;
};

class Percent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(Percent, RoundsHalfToEven) {
  EXPECT_EQ(PercentOf(GetParam().done, GetParam().total), GetParam().percent);
}

constexpr uint64_t kMax = UINT64_MAX;

INSTANTIATE_TEST_SUITE_P(
    Values, Percent,
    ::testing::Values(PercentCase{0, 0, 0}, PercentCase{5, 0, 0}, PercentCase{0, 7, 0},
                      PercentCase{1, 40, 2},       // 2.5
                      PercentCase{7, 200, 4},      // 3.5
                      PercentCase{1, 200, 0},      // 0.5
                      PercentCase{3, 200, 2},      // 1.5
                      PercentCase{199, 200, 100},  // 99.5
                      PercentCase{397, 400, 99},   // 99.25
                      PercentCase{10, 10, 100}, PercentCase{11, 10, 100}, PercentCase{kMax, 1, 100},
                      // Beyond 4 GiB, and where done * 100 does not fit 64 bits.
                      PercentCase{5ull << 32, 10ull << 32, 50}, PercentCase{kMax / 2, kMax, 50},
                      PercentCase{kMax - 1, kMax, 100},
                      // (kMax / 200) * 100 / kMax is just below 0.5: double rounding says 1.
                      PercentCase{kMax / 200, kMax, 0}, PercentCase{kMax / 200 + 1, kMax, 1}));

// Random 64-bit pairs against exact 128-bit arithmetic.
TEST(Percent, ExactForRandomSizes) {
  std::mt19937_64 random(5);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t total = random() >> (random() % 64);
    const uint64_t done = total ? random() % (total + 1) : 0;
    if (total == 0) continue;
    const unsigned __int128 scaled = (unsigned __int128)done * 100;
    uint64_t q = uint64_t(scaled / total);
    const unsigned __int128 twice = (scaled % total) * 2;
    if (twice > total || (twice == total && (q & 1))) ++q;
    ASSERT_EQ(PercentOf(done, total), int32_t(q)) << done << " / " << total;
  }
}

// Stored entries: one read, one write and one message step per piece of 32768 bytes.
struct StoredCase {
  const char* name;
  size_t size;
  std::vector<uint32_t> pieces;
  friend void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }
};

class StoredCopy : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredCopy, InPiecesOf32768) {
  const StoredCase& c = GetParam();
  const std::vector<uint8_t> data = BinaryData(c.size);
  for (const char* password : {"", "pw"}) {
    EntryOptions options;
    options.method = 0;
    options.password = password;
    options.bytesTotal = 4 * c.size + 1;
    int pumps = 0;
    options.onPump = [&](int) {
      ++pumps;
      CancelRequested = true;  // never looked at by the stored copy
    };
    const Decoded d = DecodeEntry(data, options);
    EXPECT_TRUE(d.result);
    EXPECT_TRUE(d.bytes == data) << password;
    EXPECT_EQ(d.crc, testing_support::ZlibCrc32(data));
    EXPECT_EQ(d.writes, c.pieces);
    EXPECT_EQ(pumps, int(c.pieces.size()));
    EXPECT_EQ(d.bytesDone, data.size());
    std::vector<std::pair<int64_t, int64_t>> reads;
    int64_t at = 0;
    for (uint32_t n : c.pieces) {
      reads.push_back({at, at + n});
      at += n;
    }
    EXPECT_EQ(d.reads, reads);
    if (!c.pieces.empty()) EXPECT_EQ(d.percents.back(), PercentOf(data.size(), 4 * c.size + 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, StoredCopy,
                         ::testing::Values(StoredCase{"Empty", 0, {}},
                                           StoredCase{"OneByte", 1, {1}},
                                           StoredCase{"OnePiece", 32768, {32768}},
                                           StoredCase{"ThreePieces", 70000, {32768, 32768, 4464}}),
                         [](const auto& info) { return std::string(info.param.name); });

// A read that comes back short ends the copy: that piece is neither written nor counted.
TEST(StoredCopy, ShortReadEndsTheCopy) {
  const std::vector<uint8_t> data = TextData(70000);
  EntryOptions options;
  options.method = 0;
  options.cutAt = 50000;
  const Decoded d = DecodeEntry(data, options);
  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.writes, (std::vector<uint32_t>{32768}));
  EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), data.begin()));
  EXPECT_FALSE(d.cancelRequested);
}

// Writes that fall short: progress and CRC-32 cover the bytes the write reports, so the entry
// fails its check; for the stored copy and the decoder's windows alike.
TEST(OutputWindow, ProgressAndCrcFollowTheBytesWritten) {
  const std::vector<uint8_t> data = BinaryData(100000);
  const std::vector<uint8_t> written(data.begin(), data.begin() + 50000);
  for (uint16_t method : {0, 8}) {
    EntryOptions options;
    options.method = method;
    options.capacity = 50000;
    options.bytesTotal = 100000;
    options.bytesDone = 7;
    const std::vector<uint8_t> stored = method == 8 ? ZlibDeflate(data, 6, 0) : data;
    const Decoded d = DecodeEntry(stored, options);
    EXPECT_TRUE(d.bytes == written) << method;
    EXPECT_EQ(d.crc, testing_support::ZlibCrc32(written)) << method;
    EXPECT_EQ(d.bytesDone, 7 + 50000u) << method;
    EXPECT_EQ(d.percents, (std::vector<int32_t>{33, 50, 50, 50})) << method;
  }
}

}  // namespace
