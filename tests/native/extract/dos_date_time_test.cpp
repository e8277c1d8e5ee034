#include "unpacker/extract/dos_date_time.h"

#include <gtest/gtest.h>

#include <array>

namespace {

uint32_t Dos(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
             unsigned twoSeconds) {
  return ((year - 1980) << 25 | month << 21 | day << 16) | (hour << 11 | minute << 5 | twoSeconds);
}

// The reductions come before the validity test: out-of-range fields wrap into range or make
// the value invalid, and an invalid value (a negative one too) reads as the MS-DOS epoch.
TEST(DosDateTimeToDateTime, FieldsReductionsAndInvalidValues) {
  using Fields = std::array<unsigned, 6>;
  const Fields epoch = {1980, 1, 1, 0, 0, 0};
  const struct {
    uint32_t dos;
    Fields expected;
  } cases[] = {
      {.dos = Dos(2043, 12, 31, 23, 59, 29), .expected = {2043, 12, 31, 23, 59, 58}},
      {.dos = Dos(2010, 14, 3, 26, 62, 31), .expected = {2010, 1, 3, 1, 1, 1}},  // all wrap
      {.dos = Dos(2000, 2, 29, 0, 0, 0), .expected = {2000, 2, 29, 0, 0, 0}},
      {.dos = Dos(2001, 2, 29, 0, 0, 0), .expected = epoch},
      {.dos = Dos(2000, 2, 30, 12, 0, 0), .expected = epoch},
      {.dos = Dos(2010, 13, 3, 0, 0, 0), .expected = epoch},
      {.dos = Dos(2010, 3, 0, 0, 0, 0), .expected = epoch},
      {.dos = Dos(2010, 3, 3, 24, 0, 0), .expected = epoch},
      {.dos = Dos(2010, 3, 3, 5, 60, 0), .expected = epoch},
      {.dos = Dos(2044, 1, 1, 0, 0, 0), .expected = epoch},
  };
  for (const auto& c : cases) {
    const DateTime t = DosDateTimeToDateTime(c.dos);
    EXPECT_EQ(Fields({t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second}), c.expected)
        << std::hex << c.dos;
  }
}

}  // namespace
