// make-sample-sfx OUT.exe FILE...: writes a small self-extracting sample from test fixtures: a
// minimal PE image, an option block and a ZIP archive of the given files (names as given).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"

using namespace testing_support;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make-sample-sfx OUT.exe FILE...\n");
    return 2;
  }
  std::vector<ZipEntrySpec> entries;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "make-sample-sfx: cannot read %s\n", argv[i]);
      return 1;
    }
    ZipEntrySpec e;
    e.name = argv[i];
    e.data.assign(std::istreambuf_iterator<char>(in), {});
    e.method = e.data.size() > 64 ? 8 : 0;
    e.externalAttributes = i == 2 ? 0x21 : 0x20;  // the first file read-only, for the listing
    entries.push_back(e);
  }
  std::vector<uint8_t> program = BuildPeImage({{0x400, 0x1000}, {0x1400, 0x200}});
  Append(program, BuildOptionBlock(0x48, Bytes("Sample setup"), Bytes("{temp}\\sample"),
                                   Bytes("readme.txt|><")));
  Append(program, BuildZip(entries).bytes);
  std::ofstream(argv[1], std::ios::binary)
      .write(reinterpret_cast<const char*>(program.data()), std::streamsize(program.size()));
  return 0;
}
