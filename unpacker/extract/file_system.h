// File-system seam of the portable core: what the folder routines of paths.h and the
// extraction loop ask of the file system and do to it. Paths are UTF-8, so that names of any
// script reach the file system (Windows takes them as UTF-16). Linked from extract/win32 or
// extract/native.
#pragma once

#include <cstdint>

constexpr uint32_t kPathCodePage = 65001;  // UTF-8 (CP_UTF8)

struct OutputFile;  // the file an entry is decoded into (inflate/output_file.h)

// True when a search for `pattern` ("*" and "?" as wildcards) finds any file or folder. A
// pattern that ends with a backslash finds nothing, as with FindFirstFileA.
bool FindAnyFile(const char* pattern);

// Creates one folder; false when it cannot (it exists already, its parent is missing...).
bool MakeFolder(const char* path);

// A file in the way of an entry, as the overwrite question shows it.
struct ExistingFile {
  uint64_t Size;
  uint32_t DosDateTime;  // its last write, as a local MS-DOS date-time
};

// True when a file or folder exists at `path`; then fills *found.
bool FindExistingFile(const char* path, ExistingFile* found);

// Creates a new file at `path` for writing, with the MS-DOS attributes it is to have (0: a
// normal file; Windows adds the archive attribute to every new file). Null when anything is
// in the way or the file cannot be created: the create call answers whether a file exists, so
// the common case needs no search. One file is open at a time.
OutputFile* CreateNewOutputFile(const char* path, uint32_t attributes);

// Empties the file in the way at `path` for writing, read-only or not. Null when it cannot.
OutputFile* ReplaceOutputFile(const char* path);

// Gives the file its last-write time (an MS-DOS date-time taken as local time; creation and
// last-access times stay) and closes it. False when closing reports a failure.
bool CloseOutputFile(OutputFile* file, uint32_t dosDateTime);

// Closes and deletes a file just created: nothing was written into it.
void DiscardOutputFile(OutputFile* file, const char* path);

// Sets a file's MS-DOS attributes; 0 means a normal file (not even the archive attribute).
void SetEntryAttributes(const char* path, uint32_t attributes);

// Deletes a file that this run wrote; false when it is still there.
bool DeleteExtractedFile(const char* path);

// Removes a folder if it is empty; false when it is not removed.
bool RemoveEmptyFolder(const char* path);
