// MS-DOS date and time as ZIP headers carry them: one 32-bit value, the time in the low 16 bits
// (hour 5 bits, minute 6, seconds/2 5), the date in the high 16 bits (years since 1980 7 bits,
// month 4, day 5).
#pragma once

#include <cstdint>

struct DateTime {
  uint16_t Year;
  uint8_t Month, Day, Hour, Minute, Second;
};

// The date and time of a DOS value. 0 and negative values (as a signed 32-bit number), and
// values whose date or time is not valid, give 1980-01-01 00:00:00. The fields are reduced
// before the test (month mod 13, hour mod 25, minute mod 61, seconds mod 61), so a month
// field of 14 reads as January and a seconds field of 31 as 1 second.
DateTime DosDateTimeToDateTime(uint32_t dosDateTime);
