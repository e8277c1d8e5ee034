// The output side: percentages exact for all 64-bit sizes, the stored copy in pieces of 32768
// with one message step each, and the CRC-32 and progress covering only what was written.
#include "unpacker/inflate/output_window.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "tests/native/inflate/inflate_harness.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/shared_state.h"

using namespace inflate_testing;
using testing_support::ZlibCrc32;

namespace {

// Rounded half to even, against exact 128-bit arithmetic for random 64-bit pairs. (kMax / 200)
// * 100 / kMax is just below 0.5, where double rounding would say 1.
TEST(PercentOf, RoundsHalfToEvenForAll64BitSizes) {
  constexpr uint64_t kMax = UINT64_MAX;
  const std::tuple<uint64_t, uint64_t, int32_t> cases[] = {{0, 0, 0},
                                                           {5, 0, 0},
                                                           {1, 40, 2},
                                                           {7, 200, 4},
                                                           {1, 200, 0},
                                                           {199, 200, 100},
                                                           {11, 10, 100},
                                                           {kMax, 1, 100},
                                                           {kMax / 2, kMax, 50},
                                                           {kMax - 1, kMax, 100},
                                                           {kMax / 200, kMax, 0},
                                                           {kMax / 200 + 1, kMax, 1}};
  for (const auto& [done, total, percent] : cases)
    EXPECT_EQ(PercentOf(done, total), percent) << done;
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

// Stored entries, plain and encrypted, are copied in pieces of 32768 bytes: one read, one write
// and one message step each. A cancel does not stop the copy; a read that comes back short does,
// and that piece is neither written nor counted. Writes that fall short: progress and CRC-32
// cover the bytes the write reports, so the entry fails its check; for the stored copy and the
// decoder's windows alike.
TEST(OutputWindow, PiecesProgressAndCrcFollowTheBytesWritten) {
  const std::vector<uint32_t> k3 = {32768, 32768, 4464}, k4 = {32768, 32768, 32768, 1696};
  const struct {
    uint16_t method;
    const char* password;
    size_t size;
    int64_t cutAt;
    size_t capacity;
    std::vector<uint32_t> writes;
    size_t written;
    bool cancel = true;
  } cases[] = {
      {0, "", 0, -1, SIZE_MAX, {}, 0},
      {0, "pw", 0, -1, SIZE_MAX, {}, 0},
      {0, "", 70000, -1, SIZE_MAX, k3, 70000},
      {0, "pw", 70000, -1, SIZE_MAX, k3, 70000},
      {0, "", 70000, 50000, SIZE_MAX, {32768}, 32768, false},
      {0, "", 100000, -1, 50000, k4, 50000, false},
      {8, "", 100000, -1, 50000, k4, 50000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.method << c.password << c.size << " " << c.cutAt);
    const std::vector<uint8_t> data = BinaryData(c.size);
    const std::vector<uint8_t> written(data.begin(), data.begin() + c.written);
    const Decoded d = DecodeEntry(c.method ? testing_support::RawDeflate(data) : data,
                                  {.method = c.method,
                                   .password = c.password,
                                   .cutAt = c.cutAt,
                                   .capacity = c.capacity,
                                   .bytesTotal = 2 * c.size + 1,
                                   .bytesDone = c.size / 10,
                                   .onPump = [&](int) { CancelRequested |= c.cancel; }});
    EXPECT_TRUE(d.result);
    EXPECT_TRUE(d.bytes == written);
    EXPECT_EQ(d.crc, ZlibCrc32(written));
    EXPECT_EQ(d.writes, c.writes);
    EXPECT_EQ(d.pumps, int(c.writes.size()));
    EXPECT_EQ(d.bytesDone, c.size / 10 + c.written);
    EXPECT_EQ(d.percent, PercentOf(c.size / 10 + c.written, 2 * c.size + 1));
    EXPECT_EQ(d.cancelRequested, c.cancel && c.size);
  }
}

}  // namespace
