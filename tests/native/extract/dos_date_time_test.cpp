#include "unpacker/extract/dos_date_time.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace {

uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
             unsigned twoSeconds) {
  return ((year - 1980) << 25 | month << 21 | day << 16) | (hour << 11 | minute << 5 | twoSeconds);
}

// The reductions come before the validity test: out-of-range fields wrap into range or make
// the value invalid, and an invalid value reads as the MS-DOS epoch.
TEST(DosDateTimeToDateTime, FieldsReductionsAndInvalidValues) {
  using Fields = std::array<unsigned, 6>;
  const Fields epoch = {1980, 1, 1, 0, 0, 0};
  const std::tuple<const char*, uint32_t, Fields> cases[] = {
      {"ordinary", Dos(2024, 5, 6, 7, 8, 5), {2024, 5, 6, 7, 8, 10}},
      {"February 30th", Dos(2000, 2, 30, 12, 0, 0), epoch},
      {"February 29th of a leap year", Dos(2000, 2, 29, 0, 0, 0), {2000, 2, 29, 0, 0, 0}},
      {"February 29th of a common year", Dos(2001, 2, 29, 0, 0, 0), epoch},
      {"month 14 is January", Dos(2010, 14, 3, 0, 0, 0), {2010, 1, 3, 0, 0, 0}},
      {"month 13 is invalid", Dos(2010, 13, 3, 0, 0, 0), epoch},
      {"day 0", Dos(2010, 3, 0, 0, 0, 0), epoch},
      {"seconds field 31 is 1 s", Dos(2010, 3, 3, 1, 2, 31), {2010, 3, 3, 1, 2, 1}},
      {"hour 24 is invalid", Dos(2010, 3, 3, 24, 0, 0), epoch},
      {"hour 26 is 1", Dos(2010, 3, 3, 26, 0, 0), {2010, 3, 3, 1, 0, 0}},
      {"minute 60 is invalid", Dos(2010, 3, 3, 5, 60, 0), epoch},
      {"minute 62 is 1", Dos(2010, 3, 3, 5, 62, 0), {2010, 3, 3, 5, 1, 0}},
      {"2043 is the last year that reads",
       Dos(2043, 12, 31, 23, 59, 29),
       {2043, 12, 31, 23, 59, 58}},
      {"from 2044 the value is negative", Dos(2044, 1, 1, 0, 0, 0), epoch},
  };
  for (const auto& [name, value, expected] : cases) {
    const DateTime t = DosDateTimeToDateTime(value);
    EXPECT_EQ(Fields({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}), expected) << name;
  }
}

}  // namespace
