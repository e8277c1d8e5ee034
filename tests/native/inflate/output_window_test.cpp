// The output side: percentages exact for all 64-bit sizes, the stored copy in pieces of 32768
// with one message step each, and the CRC-32 and progress covering only what was written.
#include "unpacker/inflate/output_window.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "tests/native/inflate/inflate_harness.h"

using namespace inflate_testing;

namespace {

// Rounded half to even and at most 100, 0 of nothing: against exact 128-bit arithmetic, for
// chosen and random 64-bit pairs. (kMax / 200) * 100 / kMax is just below 0.5, where double
// rounding would say 1.
TEST(PercentOf, RoundsHalfToEvenForAll64BitSizes) {
  constexpr uint64_t kMax = UINT64_MAX;
  const uint64_t small[] = {0, 0, 5, 0, 1, 40, 7, 200, 1, 200, 199, 200, 11, 10};  // done, total
  std::vector<std::pair<uint64_t, uint64_t>> pairs = {{kMax, 1}};
  for (size_t i = 0; i < std::size(small); i += 2) pairs.push_back({small[i], small[i + 1]});
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

// Stored entries, plain and encrypted, are copied in pieces of 32768 bytes: one read, one write
// and one message step each. A cancel does not stop the copy; a read that comes back short does,
// and that piece is neither written nor counted. Writes that fall short: progress and CRC-32
// cover the bytes the write reports, so the entry fails its check; for the stored copy and the
// decoder's windows alike. Cancel is pressed at every step of a stored entry.
TEST(OutputWindow, PiecesProgressAndCrcFollowTheBytesWritten) {
  const std::vector<uint32_t> k3 = {32768, 32768, 4464}, k4 = {32768, 32768, 32768, 1696};
  const struct {
    uint16_t method = 0;
    std::string password;
    size_t size;
    int64_t cutAt = -1;
    size_t capacity = SIZE_MAX;
    std::vector<uint32_t> writes;
  } cases[] = {
      {.size = 0},
      {.password = "pw", .size = 0},
      {.size = 70000, .writes = k3},
      {.password = "pw", .size = 70000, .writes = k3},
      {.size = 70000, .cutAt = 50000, .writes = {32768}},
      {.size = 100000, .capacity = 50000, .writes = k4},
      {.method = 8, .size = 100000, .capacity = 50000, .writes = k4},
      // Bytes of the ANSI code page go into the keys as they are (비밀 in code page 949).
      {.method = 8, .password = "\xBA\xF1\xB9\xD0", .size = 70000, .writes = k3},
      {.method = 12, .size = 0},  // neither stored nor deflated: refused
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    const std::vector<uint8_t> data = BinaryData(c.size);
    const size_t n = std::min<size_t>(c.capacity, std::reduce(c.writes.begin(), c.writes.end()));
    const std::vector<uint8_t> written(data.begin(), data.begin() + n);
    const Decoded d = DecodeEntry(c.method ? RawDeflate(data) : data,
                                  {.method = c.method,
                                   .password = c.password,
                                   .cutAt = c.cutAt,
                                   .capacity = c.capacity,
                                   .bytesTotal = 2 * c.size + 1,
                                   .bytesDone = c.size / 10,
                                   .onPump = [&](int) { CancelRequested |= c.method == 0; }});
    EXPECT_EQ(d.result, c.method != 12);
    EXPECT_TRUE(d.bytes == written);
    EXPECT_EQ(d.crc, ZlibCrc32(written));
    EXPECT_EQ(d.writes, c.writes);
    EXPECT_EQ(d.pumps, int(c.writes.size()));
    EXPECT_EQ(d.bytesDone, c.size / 10 + n);
    EXPECT_EQ(d.percent, PercentOf(c.size / 10 + n, 2 * c.size + 1));
    EXPECT_EQ(d.cancelRequested, c.method == 0 && c.size > 0);
  }
}

}  // namespace
