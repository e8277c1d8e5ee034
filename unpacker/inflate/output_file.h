// Output seam of the portable core: the file an entry is decoded into (OutputHandle). The
// Windows programs link inflate/win32 (WriteFile on a HANDLE); the Linux side links
// inflate/native (a callback, so tests and benchmarks can count, collect or fail writes).
#pragma once

#include <cstdint>

struct OutputFile;

// Writes count bytes and returns how many reached the file (0 on a failure).
uint32_t WriteOutputFile(OutputFile* file, const void* data, uint32_t count);

// A file that takes every byte and keeps none: for checking entries without extracting them.
OutputFile* DiscardingOutputFile();
