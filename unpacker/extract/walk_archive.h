// The extraction loop: one walk over the entries of the appended ZIP data, in one of three
// passes.
//
//   pass      per entry
//   Scan      counts it, sums the sizes; at the end reads the attributes
//   Extract   password, folders, the file, its data, CRC, time, attributes
//   Delete    deletes the file this run's extract pass wrote
//
// Portable: it reaches files, windows and code pages only through the core's seams.
#pragma once

#include <cstdint>

constexpr uint32_t kProgramPathSize = 261;  // MAX_PATH and a NUL

// The running program's file, which every pass re-opens (the archive is appended to it).
extern char ProgramPath[kProgramPathSize];

enum class Pass { Scan, Extract, Delete };

// Runs one pass; never while Extracting. The outcome shows in Outcome (run_outcome.h), BytesTotal,
// EntryAttributes and the messages shown.
void WalkArchive(Pass pass);
