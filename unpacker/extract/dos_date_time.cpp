#include "unpacker/extract/dos_date_time.h"

namespace {

constexpr DateTime kDosEpoch = {1980, 1, 1, 0, 0, 0};

bool IsLeapYear(unsigned year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

DateTime DosDateTimeToDateTime(uint32_t v) {
  if (int32_t(v) <= 0) return kDosEpoch;
  const unsigned date = v >> 16, time = v & 0xFFFF;
  const unsigned year = 1980 + (date >> 9);
  const unsigned month = ((date >> 5) & 15) % 13;
  const unsigned day = date & 31;
  const unsigned hour = (time >> 11) % 25;
  const unsigned minute = ((time >> 5) & 63) % 61;
  const unsigned second = (2 * (time & 31)) % 61;
  if (month == 0 || day == 0 || day > DaysInMonth(year, month) || hour == 24 || minute == 60 ||
      second == 60)
    return kDosEpoch;
  return {uint16_t(year), uint8_t(month),  uint8_t(day),
          uint8_t(hour),  uint8_t(minute), uint8_t(second)};
}
