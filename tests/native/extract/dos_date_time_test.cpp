#include "unpacker/extract/dos_date_time.h"

#include <gtest/gtest.h>

namespace {

uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
             unsigned twoSeconds) {
  return ((year - 1980) << 25 | month << 21 | day << 16) | (hour << 11 | minute << 5 | twoSeconds);
}

// The reductions come before the validity test: out-of-range fields wrap into range or make
// the value invalid, and an invalid value reads as the MS-DOS epoch.
TEST(DosDateTimeToDateTime, FieldsReductionsAndInvalidValues) {
  const struct {
    const char* name;
    uint32_t value;
    DateTime expected;
  } cases[] = {
      {"ordinary", Dos(2024, 5, 6, 7, 8, 5), {2024, 5, 6, 7, 8, 10}},
      {"zero", 0, {1980, 1, 1, 0, 0, 0}},
      {"negative", 0x80000000u | Dos(2000, 1, 1, 0, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"February 30th", Dos(2000, 2, 30, 12, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"February 29th of a leap year", Dos(2000, 2, 29, 0, 0, 0), {2000, 2, 29, 0, 0, 0}},
      {"February 29th of a common year", Dos(2001, 2, 29, 0, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"month 14 is January", Dos(2010, 14, 3, 0, 0, 0), {2010, 1, 3, 0, 0, 0}},
      {"month 13 is invalid", Dos(2010, 13, 3, 0, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"day 0", Dos(2010, 3, 0, 0, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"seconds field 29 is 58 s", Dos(2010, 3, 3, 1, 2, 29), {2010, 3, 3, 1, 2, 58}},
      {"seconds field 31 is 1 s", Dos(2010, 3, 3, 1, 2, 31), {2010, 3, 3, 1, 2, 1}},
      {"hour 24 is invalid", Dos(2010, 3, 3, 24, 0, 0), {1980, 1, 1, 0, 0, 0}},
      {"hour 26 is 1", Dos(2010, 3, 3, 26, 0, 0), {2010, 3, 3, 1, 0, 0}},
      {"minute 60 is invalid", Dos(2010, 3, 3, 5, 60, 0), {1980, 1, 1, 0, 0, 0}},
      {"minute 62 is 1", Dos(2010, 3, 3, 5, 62, 0), {2010, 3, 3, 5, 1, 0}},
      {"2043 is the last year that reads",
       Dos(2043, 12, 31, 23, 59, 29),
       {2043, 12, 31, 23, 59, 58}},
      {"from 2044 the value is negative", Dos(2044, 1, 1, 0, 0, 0), {1980, 1, 1, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const DateTime t = DosDateTimeToDateTime(c.value);
    EXPECT_EQ(t.Year, c.expected.Year) << c.name;
    EXPECT_EQ(t.Month, c.expected.Month) << c.name;
    EXPECT_EQ(t.Day, c.expected.Day) << c.name;
    EXPECT_EQ(t.Hour, c.expected.Hour) << c.name;
    EXPECT_EQ(t.Minute, c.expected.Minute) << c.name;
    EXPECT_EQ(t.Second, c.expected.Second) << c.name;
  }
}

}  // namespace
