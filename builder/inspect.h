// mksfx --list: what the stub's own reader finds in a self-extracting file.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace mksfx {

// Prints the option block and the entries of `path`; the texts and names are decoded from
// `codePage` for display. Returns the process exit status: 2 when the stub would find the
// archive damaged (its Zip64 records missing, contradicting or pointing beyond the data).
int ListSelfExtractor(const std::string& path, unsigned codePage, std::FILE* out);

// What --test makes of an encrypted entry when no password is given.
enum class LockedEntries { Fail, PassUnchecked };

// Decodes every entry of `path` with the stub's own decoder and checks its CRC-32 and, for AES,
// its authentication code, as the stub will. `password` is UTF-8; like the stub, it is tried
// in the archive's code page first, then as UTF-8. Returns the exit status: 0 when every entry
// is intact, 2 when one is damaged (each is named on `out`), or cannot be decrypted; without a
// password, encrypted entries fail or pass unchecked as `locked` says.
int TestSelfExtractor(const std::string& path, const std::optional<std::string>& password,
                      unsigned codePage, std::FILE* out, bool quiet,
                      LockedEntries locked = LockedEntries::Fail);

// "2024-05-06 07:08:10" for an MS-DOS date-time (date in the high 16 bits).
std::string FormatDosDateTime(uint32_t dosDateTime);

}  // namespace mksfx
