// fetcher on large music lists.
//   ListLoad/100000        ReadListFile + the loader on a 100,000-record file (about 5 MB; the
//                          first 1001 titles listed). Must stay well under one second.
//   ListLoadPlain/N        the loader written the plain way, for comparison (smaller lists)
//   DownloadRun/1000       a download run of 1000 titles from the same 100,000-record text,
//                          against a platform that answers at once: the cost of finding and
//                          removing records, without the network
// Run: build/native/bin/fetcher_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "fetcher/modules/ansi_text.h"
#include "fetcher/modules/download_songs.h"
#include "fetcher/modules/list_file.h"
#include "fetcher/modules/music_list.h"
#include "tests/native/fetcher/reference_algorithms.h"

namespace {

// One record per line, about 50 bytes, half the titles Korean (code page 949).
std::string MakeList(int records) {
  std::string list;
  char line[160];
  for (int i = 0; i < records; ++i) {
    const char* title = i % 2 ? "\xB3\xEB\xB7\xA1 %d" : "Song %d";  // "노래 %d"
    char name[40];
    std::snprintf(name, sizeof name, title, i);
    std::snprintf(line, sizeof line, "%s|%d/f%08xab*album %04d side A|Y\r\n", name, 100000 + i,
                  unsigned(i) * 2654435761u, i % 10000);
    list += line;
  }
  return list;
}

std::u16string WriteList(int records, size_t* bytes) {
  static std::string path;
  const std::string list = MakeList(records);
  *bytes = list.size();
  path = "/tmp/fetcher_bench_" + std::to_string(getpid()) + "_" + std::to_string(records) + ".lbm";
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(list.data(), 1, list.size(), file);
  std::fclose(file);
  return AnsiToUnicode(path);
}

void ListLoad(benchmark::State& state) {
  size_t bytes = 0;
  const std::u16string path = WriteList(int(state.range(0)), &bytes);
  size_t listed = 0;
  for (auto _ : state) {
    std::optional<std::u16string> text = ReadListFile(path);
    listed = ListMusicTitles(std::move(*text)).size();
    benchmark::DoNotOptimize(listed);
  }
  state.counters["file_MB"] = double(bytes) / 1e6;
  state.counters["listed"] = double(listed);
  std::remove(std::string(path.begin(), path.end()).c_str());
}
BENCHMARK(ListLoad)->Arg(100000)->Unit(benchmark::kMillisecond);

void ListLoadPlain(benchmark::State& state) {
  const std::u16string text = ReadListFields(AnsiToUnicode(MakeList(int(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(reference::ListMusicTitles(text));
}
BENCHMARK(ListLoadPlain)->Arg(10000)->Arg(30000)->Iterations(1)->Unit(benchmark::kMillisecond);

class InstantPlatform : public DownloadPlatform {
 public:
  std::optional<std::string> Lookup(const std::u16string&) override { return "http://x"; }
  bool DownloadFile(const std::u16string&, const std::u16string&) override {
    ++downloads;
    return true;
  }
  std::u16string DownloadFolder() override { return u"C:\\Music\\"; }
  void ShowMessage(const std::u16string& text, const std::u16string&, MessageIcon) override {
    last = text;
  }
  int downloads = 0;
  std::u16string last;
};

void DownloadRun(benchmark::State& state) {
  const std::u16string text = ReadListFields(AnsiToUnicode(MakeList(100000)));
  // Every 99th record of the list, so the run's records lie all over the text.
  std::vector<std::u16string> titles;
  for (int i = 0; i < state.range(0); ++i) {
    const int k = i * 99;
    titles.push_back((k % 2 ? AnsiToUnicode("\xB3\xEB\xB7\xA1 ") : u"Song ") +
                     AnsiToUnicode(std::to_string(k)));
  }
  InstantPlatform platform;
  for (auto _ : state) RunDownloadSongs(titles, text, u"localhost", platform);
  // Every title found and fetched: the run ended with its completion message.
  state.counters["songs"] = double(platform.downloads) / double(state.iterations());
  if (platform.last != u"다운로드 완료!") state.SkipWithError("the run did not complete");
}
BENCHMARK(DownloadRun)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
