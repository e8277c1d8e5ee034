// The Windows OutputFile: a file handle opened for writing.
#pragma once

#include <windows.h>

struct OutputFile {
  HANDLE handle;
};
