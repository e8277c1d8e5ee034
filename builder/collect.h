// Turns the command line's inputs (folders and files) into the list of entries to pack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mksfx {

struct PlannedEntry {
  std::string utf8Name;     // "/"-separated path inside the archive; folders end with "/"
  std::string archiveName;  // the same in the archive's code page, or UTF-8 when nameIsUtf8
  bool nameIsUtf8 = false;  // the code page cannot hold the name: written as UTF-8 with bit 11
  bool isFolder = false;
  std::string sourcePath;  // UTF-8 path of the file on disk
  uint32_t dosDateTime = 0;
  uint32_t attributes = 0;  // MS-DOS attribute bits
  uint64_t size = 0;
};

// A folder contributes its contents (not its own name); a file is stored under its name.
// Folder entries are made only for empty folders: the stub creates the others on its way.
// The result is sorted by path, component by component, so equal inputs give equal archives.
// A name that the code page cannot hold stays UTF-8. Fails with a message naming the file:
// unreadable input, a name that is no UTF-8 (or a code page this system does not know), two
// inputs giving the same name.
bool CollectInputs(const std::vector<std::string>& inputs, unsigned codePage,
                   std::vector<PlannedEntry>* entries, std::string* error);

// MS-DOS date and time (date in the high 16 bits) of a local time; times before 1980 become
// 1980-01-01 00:00:00, the earliest that MS-DOS times can hold.
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

}  // namespace mksfx
