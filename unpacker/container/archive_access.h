// Positioning and reading the program's own file: every read of the option block and the ZIP
// data goes through these primitives.
#pragma once

#include <cstdint>

#include "unpacker/container/archive_file.h"

// The program's own file, opened for reading at start-up and re-opened by every pass.
extern ArchiveFile* ArchiveHandle;

// Moves ArchiveHandle's position by distance from origin; 0 on success, -1 when refused.
// Positions are 64-bit so a stub with a payload of up to 4 GiB is reachable.
int SeekArchive(int64_t distance, SeekOrigin origin);

// Reads up to count bytes at the current position into buffer; *bytesRead tells how many came.
void ReadArchive(void* buffer, uint32_t count, uint32_t* bytesRead);

// The position that the seeks and reads above left ArchiveHandle at (-1 after a refused seek),
// kept here rather than asked of the file.
int64_t ArchivePosition();

// Moves to `to` from the start of the file, unless the last read ended there already (an
// entry's data behind its name, the next header behind a decoded entry): a call that would
// not move costs a system call per entry. Only while the handle stays the same.
void SeekArchiveWithinWalk(int64_t to);

// Checks that the ZIP data can be reached (seek to the end, then to ArchiveOffset). Reports
// "압축 파일을 읽을 수 없습니다." and returns false when it cannot.
bool RewindToArchive();
