// File access seam of the portable core.
//
// The core reads the program's own file (the PE image, the option block and the ZIP data
// behind it) only through these functions. Each program links exactly one implementation:
// container/win32 (CreateFileA/ReadFile/SetFilePointerEx) for the Windows programs and
// container/native (stdio or a memory buffer) for the Linux tools, tests and fuzz targets.
#pragma once

#include <cstdint>

struct ArchiveFile;  // an open file; its layout belongs to the platform implementation

enum SeekOrigin : int { SeekFromBegin = 0, SeekFromCurrent = 1, SeekFromEnd = 2 };

// Opens an existing file for reading, with read sharing. The path is in the platform's narrow
// encoding (the ANSI code page on Windows, UTF-8 elsewhere). Null when it cannot be opened.
ArchiveFile* OpenArchiveFile(const char* path);

// Closes the file; false when the platform reports a failure. Null is accepted and succeeds.
bool CloseArchiveFile(ArchiveFile* file);

// Moves the read position and returns the new position, or -1 when the move is refused (the
// position then stays). Positions beyond the end are allowed; reads there deliver nothing.
int64_t ArchiveFileSeek(ArchiveFile* file, int64_t distance, SeekOrigin origin);

// Reads up to count bytes at the read position and advances it; returns the number of bytes
// read, 0 at the end of the file or on a failure.
uint32_t ArchiveFileRead(ArchiveFile* file, void* buffer, uint32_t count);

// The size of the file in bytes, or -1 when it cannot be told.
int64_t ArchiveFileSize(ArchiveFile* file);

// Writes the process's current directory, NUL-terminated, into buffer and returns its length;
// returns 0 and leaves buffer unchanged when it does not fit into size bytes.
uint32_t CurrentDirectory(char* buffer, uint32_t size);
