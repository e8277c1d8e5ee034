#include "builder/collect.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>

#include "builder/code_page.h"
#include "builder/file_io.h"

namespace fs = std::filesystem;

namespace mksfx {

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00
  if (year > 2107) year = 2107;
  const uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
  const uint32_t time = uint32_t(hour << 11 | minute << 5 | second / 2);
  return date << 16 | time;
}

namespace {

std::string Utf8(const fs::path& p) {
  const auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

uint32_t DosDateTimeOf(const fs::path& p) {
  std::error_code ec;
  const auto written = fs::last_write_time(p, ec);
  if (ec) return DosDateTime(1980, 1, 1, 0, 0, 0);
  const std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(
          std::chrono::file_clock::to_sys(written)));
  std::tm local{};
  if (!ToLocalTime(t, &local)) return DosDateTime(1980, 1, 1, 0, 0, 0);
  return DosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec);
}

// Component-wise order: "a/b" sorts with "a", before "a.txt".
bool PathLess(const PlannedEntry& x, const PlannedEntry& y) {
  auto split = [](const std::string& s) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i == s.size() || s[i] == '/') {
        if (i > start) parts.push_back(s.substr(start, i - start));
        start = i + 1;
      }
    }
    return parts;
  };
  return split(x.utf8Name) < split(y.utf8Name);
}

struct Collector {
  unsigned codePage;
  std::vector<PlannedEntry>* entries;
  std::map<std::string, std::string> sourceOfName;  // archive name → the input it came from
  std::string* error;

  bool Add(PlannedEntry e) {
    std::string why;
    if (const auto converted = Utf8ToCodePage(e.utf8Name, codePage, &why)) {
      e.archiveName = *converted;
    } else if (!IsUtf8(e.utf8Name)) {
      *error = "the name " + e.utf8Name + " is no UTF-8, which file names are read as";
      return false;
    } else if (!IsSupportedCodePage(codePage)) {
      *error = "the name " + e.utf8Name + " " + why;
      return false;
    } else {
      // Written as it is, flagged as UTF-8: readers that know the flag show every script.
      e.archiveName = e.utf8Name;
      e.nameIsUtf8 = true;
    }
    const auto [it, inserted] = sourceOfName.emplace(e.archiveName, e.sourcePath);
    if (!inserted) {
      *error = "two inputs give the archive name " + e.utf8Name + ": " + it->second + " and " +
               e.sourcePath;
      return false;
    }
    entries->push_back(std::move(e));
    return true;
  }

  bool AddFile(const fs::path& p, const std::string& name) {
    std::error_code ec;
    PlannedEntry e;
    e.utf8Name = name;
    e.sourcePath = Utf8(p);
    e.size = fs::file_size(p, ec);
    if (ec) {
      *error = "cannot read " + e.sourcePath + ": " + ec.message();
      return false;
    }
    e.dosDateTime = DosDateTimeOf(p);
    e.attributes = DosAttributesOf(p, false);
    return Add(std::move(e));
  }

  bool AddFolderContents(const fs::path& root) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    if (ec) {
      *error = "cannot read the folder " + Utf8(root) + ": " + ec.message();
      return false;
    }
    for (; it != end; it.increment(ec)) {
      if (ec) {
        *error = "cannot read the folder " + Utf8(root) + ": " + ec.message();
        return false;
      }
      const fs::path& p = it->path();
      const std::u8string relative = p.lexically_relative(root).generic_u8string();
      const std::string name(relative.begin(), relative.end());
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        if (fs::is_empty(p, ec)) {
          PlannedEntry e;
          e.utf8Name = name + "/";
          e.isFolder = true;
          e.sourcePath = Utf8(p);
          e.dosDateTime = DosDateTimeOf(p);
          e.attributes = DosAttributesOf(p, true);
          if (!Add(std::move(e))) return false;
        }
      } else if (it->is_regular_file(ec)) {
        if (!AddFile(p, name)) return false;
      } else if (it->is_directory(ec)) {
        it.disable_recursion_pending();  // a link to a folder: not followed, so no loops
      }
    }
    return true;
  }
};

}  // namespace

bool CollectInputs(const std::vector<std::string>& inputs, unsigned codePage,
                   std::vector<PlannedEntry>* entries, std::string* error) {
  Collector collector{codePage, entries, {}, error};
  for (const std::string& input : inputs) {
    const fs::path p = PathOf(input);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
      if (!collector.AddFolderContents(p)) return false;
    } else if (fs::is_regular_file(p, ec)) {
      if (!collector.AddFile(p, Utf8(p.filename()))) return false;
    } else {
      *error = "no such file or folder: " + input;
      return false;
    }
  }
  std::sort(entries->begin(), entries->end(), PathLess);
  return true;
}

}  // namespace mksfx
