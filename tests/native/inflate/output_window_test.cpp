// The output side: percentages exact for all 64-bit sizes, the stored copy in pieces of 32768
// with one message step each, and the CRC-32 and progress covering only what was written.
#include "unpacker/inflate/output_window.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/shared_state.h"

using namespace inflate_testing;
using testing_support::ZlibCrc32;

namespace {

// Rounded half to even, against exact 128-bit arithmetic for random 64-bit pairs.
TEST(PercentOf, RoundsHalfToEvenForAll64BitSizes) {
  constexpr uint64_t kMax = UINT64_MAX;
  const struct {
    uint64_t done, total;
    int32_t percent;
  } cases[] = {{0, 0, 0},
               {5, 0, 0},
               {1, 40, 2},
               {7, 200, 4},
               {1, 200, 0},
               {199, 200, 100},
               {11, 10, 100},
               {kMax, 1, 100},
               {kMax / 2, kMax, 50},
               {kMax - 1, kMax, 100},
               // (kMax / 200) * 100 / kMax is just below 0.5: double rounding says 1.
               {kMax / 200, kMax, 0},
               {kMax / 200 + 1, kMax, 1}};
  for (const auto& c : cases) EXPECT_EQ(PercentOf(c.done, c.total), c.percent) << c.done;
  std::mt19937_64 random(5);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t total = (random() >> (random() % 64)) | 1;
    const uint64_t done = random() % (total + 1);
    const unsigned __int128 scaled = (unsigned __int128)done * 100;
    uint64_t q = uint64_t(scaled / total);
    const unsigned __int128 twice = (scaled % total) * 2;
    if (twice > total || (twice == total && (q & 1))) ++q;
    ASSERT_EQ(PercentOf(done, total), int32_t(q)) << done << " / " << total;
  }
}

// Stored entries, plain and encrypted: one read, one write and one message step per piece of
// 32768 bytes, and a cancel does not stop the copy.
TEST(StoredCopy, InPiecesOf32768) {
  for (const std::vector<uint32_t>& pieces : {std::vector<uint32_t>{}, {32768, 32768, 4464}}) {
    const size_t size = pieces.empty() ? 0 : 70000;
    const std::vector<uint8_t> data = BinaryData(size);
    for (const char* password : {"", "pw"}) {
      EntryOptions options;
      options.method = 0;
      options.password = password;
      options.bytesTotal = 4 * size + 1;
      options.onPump = [&](int) { CancelRequested = true; };
      const Decoded d = DecodeEntry(data, options);
      EXPECT_TRUE(d.result);
      EXPECT_TRUE(d.bytes == data) << password;
      EXPECT_EQ(d.crc, ZlibCrc32(data));
      EXPECT_EQ(d.writes, pieces);
      EXPECT_EQ(d.pumps, int(pieces.size()));
      EXPECT_EQ(d.bytesDone, data.size());
      EXPECT_EQ(d.percent, PercentOf(size, 4 * size + 1));
    }
  }
}

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
    const Decoded d = DecodeEntry(method == 8 ? testing_support::RawDeflate(data) : data, options);
    EXPECT_TRUE(d.bytes == written) << method;
    EXPECT_EQ(d.crc, ZlibCrc32(written)) << method;
    EXPECT_EQ(d.bytesDone, 7 + 50000u) << method;
    EXPECT_EQ(d.pumps, 4) << method;
    EXPECT_EQ(d.percent, 50) << method;
  }
}

}  // namespace
