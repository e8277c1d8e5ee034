// File seam: the whole content of a file, read at once.
//   win32/file_bytes.cpp   CreateFileA with the path in the ANSI code page
//   native/file_bytes.cpp  stdio with the path in UTF-8
#pragma once

#include <optional>
#include <string>

// The file's bytes, or nothing when it does not exist or cannot be read.
std::optional<std::string> ReadFileBytes(const std::u16string& path);
