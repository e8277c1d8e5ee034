#include "unpacker/extract/dos_date_time.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>

namespace {

uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
             unsigned twoSeconds) {
  return ((year - 1980) << 25 | month << 21 | day << 16) | (hour << 11 | minute << 5 | twoSeconds);
}

using Fields = std::array<unsigned, 6>;
constexpr Fields kEpoch = {1980, 1, 1, 0, 0, 0};

Fields Read(uint32_t dos) {
  const DateTime t = DosDateTimeToDateTime(dos);
  return {t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second};
}

// Every day field of every month of the years that read, against the calendar of <chrono>: a
// day that does not exist reads as the MS-DOS epoch.
TEST(DosDateTimeToDateTime, DaysFollowTheCalendar) {
  using namespace std::chrono;
  for (unsigned y = 1980; y <= 2043; ++y)
    for (unsigned m = 1; m <= 12; ++m)
      for (unsigned d = 0; d <= 31; ++d) {
        const bool exists = year_month_day(year(int(y)), month(m), day(d)).ok();
        ASSERT_EQ(Read(Dos(y, m, d, 1, 2, 3)), (exists ? Fields{y, m, d, 1, 2, 6} : kEpoch))
            << y << "-" << m << "-" << d;
      }
}

// The reductions come before the validity test: out-of-range fields wrap into range or make
// the value invalid, and an invalid value (a negative one too) reads as the MS-DOS epoch.
TEST(DosDateTimeToDateTime, FieldsOutOfRange) {
  const struct {
    uint32_t dos;
    Fields expected;
  } cases[] = {
      {.dos = Dos(2043, 12, 31, 23, 59, 29), .expected = {2043, 12, 31, 23, 59, 58}},
      {.dos = Dos(2010, 14, 3, 26, 62, 31), .expected = {2010, 1, 3, 1, 1, 1}},  // all wrap
      {.dos = Dos(2010, 13, 3, 0, 0, 0), .expected = kEpoch},
      {.dos = Dos(2010, 3, 3, 24, 0, 0), .expected = kEpoch},
      {.dos = Dos(2010, 3, 3, 5, 60, 0), .expected = kEpoch},
      {.dos = Dos(2044, 1, 1, 0, 0, 0), .expected = kEpoch},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.dos), c.expected) << std::hex << c.dos;
}

}  // namespace
