// Fuzzes everything that reads a music list file: the code-page conversion, the delimited-field
// reader, the list loader, and the download run's record lookup and removal. The loader and the
// working-text steps are checked against their plain versions, so the fuzzer looks for wrong
// results as well as for crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fetcher/modules/ansi_text.h"
#include "fetcher/modules/download_text.h"
#include "fetcher/modules/list_file.h"
#include "fetcher/modules/music_list.h"
#include "tests/native/fetcher/reference_algorithms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string text = ReadListFields(AnsiToUnicode(bytes));

  const std::vector<std::u16string> titles = ListMusicTitles(text);
  if (titles != reference::ListMusicTitles(text)) std::abort();

  // A download run over the listed titles, each removed after it is found, as the run does.
  DownloadText fast(text);
  std::u16string plain = text;
  for (const std::u16string& title : titles) {
    const std::optional<SongRecord> record = fast.FindRecord(title);
    if (record != reference::FindRecord(plain, title)) std::abort();
    if (!record) continue;
    fast.RemoveRecord(title, record->fileKey);
    plain = reference::RemoveRecord(plain, title, record->fileKey);
    if (fast.Text() != plain) std::abort();
  }
  return 0;
}
