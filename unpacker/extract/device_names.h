// The names Windows opens as devices, in whatever folder they stand: the one rule for every
// program of the project, so that no program writes a file that another would take for a
// device.
#pragma once

#include <cstdint>

// Whether the file name (one path component, UTF-16) names a device: its base name (up to
// the first dot, trailing blanks dropped) is CON, PRN, AUX, NUL, CONIN$, CONOUT$, or COM or LPT
// with one digit 0-9 or a superscript 1, 2 or 3; letter case does not matter. "CON.txt",
// "nul .tar.gz" and "LPT\u00B9" are devices; "CONSOLE", "COM10" and "LPT" are not.
bool IsDeviceName(const char16_t* name, uint32_t length);
