// File-system seam of the portable core: the two questions and one action that the folder
// routines of paths.h put to the file system. Linked from extract/win32 or extract/native.
#pragma once

// True when a search for `pattern` (a path in the ANSI code page, "*" and "?" as wildcards)
// finds any file or folder. A pattern that ends with a backslash finds nothing, as with
// FindFirstFileA.
bool FindAnyFile(const char* pattern);

// Creates one folder; false when it cannot (it exists already, its parent is missing...).
bool MakeFolder(const char* path);
