// The extraction loop: one walk over the entries of the appended ZIP data, in one of three
// passes.
//
//   pass      ScanOnly DeleteMode  per entry
//   scan      true     false       counts it, sums the sizes; at the end reads the attributes
//   extract   false    false       password, folders, the file, its data, CRC, time, attributes
//   delete    false    true        deletes the file this run's extract pass wrote
#pragma once

#include <windows.h>

#include <cstdint>

// The running program's file, which every pass re-opens (the archive is appended to it).
extern char ProgramPath[MAX_PATH + 1];

// Runs one pass. Never both true; never while Extracting. The outcome shows in
// ExtractionSucceeded, BytesTotal, EntryAttributes and the messages shown.
void WalkArchive(bool scanOnly, bool deleteMode);

// Sets a file's last-write time from an MS-DOS date-time taken as local time; creation and
// last-access times stay. Failures are ignored.
void SetEntryFileTime(HANDLE file, uint32_t dosDateTime);
