#include "unpacker/extract/device_names.h"

namespace {

bool EqualsIgnoringAsciiCase(const char16_t* units, const char* ascii, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    char16_t unit = units[i];
    if (unit >= u'a' && unit <= u'z') unit = char16_t(unit - u'a' + u'A');
    if (unit != char16_t(ascii[i])) return false;
  }
  return true;
}

}  // namespace

bool IsDeviceName(const char16_t* name, uint32_t length) {
  uint32_t base = 0;
  while (base < length && name[base] != u'.') ++base;
  while (base > 0 && name[base - 1] == u' ') --base;
  if (base == 3) {
    static const char kDevices[][4] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : kDevices)
      if (EqualsIgnoringAsciiCase(name, device, 3)) return true;
    return false;
  }
  if (base == 4 &&
      (EqualsIgnoringAsciiCase(name, "COM", 3) || EqualsIgnoringAsciiCase(name, "LPT", 3))) {
    const char16_t digit = name[3];
    return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' ||
           digit == u'\u00B3';
  }
  if (base == 6) return EqualsIgnoringAsciiCase(name, "CONIN$", 6);
  if (base == 7) return EqualsIgnoringAsciiCase(name, "CONOUT$", 7);
  return false;
}
