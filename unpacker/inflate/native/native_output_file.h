// The native OutputFile: whatever the callback does with the bytes.
#pragma once

#include <cstdint>

struct OutputFile {
  // Returns the number of bytes taken (less than count simulates a full disk).
  uint32_t (*write)(void* context, const void* data, uint32_t count);
  void* context;
};
