// mksfx as its users run it: real folders, real archives from other tools, and the result read
// back by the stub's own reader, Python's zipfile and Info-ZIP unzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tests/support/core_harness.h"
#include "tests/support/pe_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/zip_records.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

Result Shell(const std::string& command) {
  Result r{-1, ""};
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    r.output.append(buffer.data(), got);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Quote(const fs::path& p) {
  return "'" + p.string() + "'";
}

void WriteText(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

class MksfxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("mksfx_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // A stand-in stub: a PE image whose file ends at its image end.
    const std::vector<uint8_t> stub = BuildPeImage({{0x400, 0x800}, {0xC00, 0x400}});
    std::ofstream(dir_ / "stub.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(stub.data()), std::streamsize(stub.size()));
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Mksfx(const std::string& args) {
    return Shell(std::string(MKSFX_PATH) + " --stub " + Quote(dir_ / "stub.exe") + " " + args);
  }

  // Python's zipfile on the whole self-extracting file: "name<TAB>size<TAB>crc" per entry, or
  // an error. Names are decoded from code page 949.
  Result PythonList(const fs::path& file, const std::string& password = "") {
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "bad = z.testzip() if not sys.argv[2] else None\n"
        "for i in z.infolist():\n"
        "    name = i.filename.encode('cp437').decode('cp949') if not i.flag_bits & 0x800 "
        "else i.filename\n"
        "    data = z.read(i, pwd=sys.argv[2].encode() or None) if not i.is_dir() else b''\n"
        "    print(name, len(data), '%08x' % i.CRC, oct(i.external_attr), sep='\\t')\n"
        "print('bad' if bad else 'ok')\n";
    WriteText(dir_ / "list.py", script);
    return Shell("python3 " + Quote(dir_ / "list.py") + " " + Quote(file) + " '" + password + "'");
  }

  fs::path dir_;
};

TEST_F(MksfxTest, FolderTreeRoundTrip) {
  const fs::path in = dir_ / "in";
  WriteText(in / "readme.txt", "read me\n");
  WriteText(in / "한글 문서.txt", "Korean name\n");
  WriteText(in / "docs" / "guide.txt", std::string(10000, 'g'));
  WriteText(in / "docs" / "deep" / "deeper" / "empty.bin", "");
  fs::create_directories(in / "empty folder");
  fs::create_directories(in / "docs" / "also empty");
  WriteText(in / "locked.txt", "read-only\n");
  chmod((in / "locked.txt").c_str(), 0444);
  {  // a file over 64 MiB of varied, compressible text
    std::ofstream big(in / "big.log", std::ios::binary);
    std::mt19937 random(42);
    std::string line;
    for (int i = 0; big.tellp() < (65 << 20) + 12345; ++i) {
      line = "line " + std::to_string(i) + " value " + std::to_string(random() % 100000) + "\n";
      big << line;
    }
  }
  const struct utimbuf when = {1700000000, 1700000000};  // 2023-11-14 22:13:20 UTC
  utime((in / "readme.txt").c_str(), &when);

  const fs::path out = dir_ / "setup.exe";
  Result r = Mksfx("--caption '설치 프로그램' -o " + Quote(out) + " " + Quote(in));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("8 entries"), std::string::npos) << r.output;

  r = Shell(std::string(MKSFX_PATH) + " --test " + Quote(out));
  EXPECT_EQ(r.status, 0) << r.output;

  r = PythonList(out);
  ASSERT_EQ(r.status, 0) << r.output;
  // Sorted by path, folder entries only for empty folders, MS-DOS attributes only (0o40 archive,
  // 0o41 archive + read-only, 0o20 folder): name, size, attributes per entry.
  std::string listing;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);) {
    const size_t crcAt = line.find('\t', line.find('\t') + 1);
    listing += crcAt == std::string::npos ? line : line.substr(0, crcAt) + line.substr(crcAt + 9);
    listing += "\n";
  }
  EXPECT_EQ(listing, "big.log\t" + std::to_string(fs::file_size(in / "big.log")) +
                         "\t0o40\n"
                         "docs/also empty/\t0\t0o20\n"
                         "docs/deep/deeper/empty.bin\t0\t0o40\n"
                         "docs/guide.txt\t10000\t0o40\n"
                         "empty folder/\t0\t0o20\n"
                         "locked.txt\t10\t0o41\n"
                         "readme.txt\t8\t0o40\n"
                         "한글 문서.txt\t12\t0o40\n"
                         "ok\n");

  r = Shell("unzip -t " + Quote(out));
  EXPECT_LE(r.status, 1) << r.output;  // 1: a warning about the stub in front
  EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;

  // The DOS time of readme.txt is its modification time in local time.
  ProgramFile program(ReadBytes(out));
  ReadOptionBlock();
  EXPECT_STREQ(ExtractorOptions.Caption, "\xBC\xB3\xC4\xA1 \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5");
  SeekArchive(int64_t(ExtractorOptions.ArchiveOffset), SeekFromBegin);
  std::time_t t = 1700000000;
  std::tm local{};
  localtime_r(&t, &local);
  bool found = false;
  while (ReadLocalHeader()) {
    const int64_t namePosition = LastSeekPosition + 30;
    std::string name(LocalHeader.NameLength, '\0');
    uint32_t got;
    ReadArchive(name.data(), LocalHeader.NameLength, &got);
    if (name == "readme.txt") {
      found = true;
      EXPECT_EQ(LocalHeader.DosDateTime >> 25, uint32_t(local.tm_year - 80));
      EXPECT_EQ((LocalHeader.DosDateTime >> 11) & 31, uint32_t(local.tm_hour));
      EXPECT_EQ(LocalHeader.DosDateTime & 31, uint32_t(local.tm_sec / 2));
      EXPECT_EQ(LocalHeader.Flags, 0) << "no data descriptor";
    }
    SeekArchive(namePosition + LocalHeader.NameLength + LocalHeader.ExtraLength +
                    LocalHeader.CompressedSize,
                SeekFromBegin);
  }
  EXPECT_TRUE(found);
}

TEST_F(MksfxTest, EncryptedArchiveOpensWithThePasswordOnly) {
  WriteText(dir_ / "in" / "secret.txt", std::string(50000, 's') + "end");
  WriteText(dir_ / "in" / "small.txt", "x");
  const fs::path out = dir_ / "secret.exe";
  Result r = Mksfx("--password 'pa ss' --level 6 -o " + Quote(out) + " " + Quote(dir_ / "in"));
  ASSERT_EQ(r.status, 0) << r.output;

  const std::string test = std::string(MKSFX_PATH) + " --test " + Quote(out);
  EXPECT_EQ(Shell(test).status, 1) << "no password";
  EXPECT_EQ(Shell(test + " --password wrong").status, 1);
  r = Shell(test + " --password 'pa ss'");
  EXPECT_EQ(r.status, 0) << r.output;

  r = Shell("unzip -t -P 'pa ss' " + Quote(out));
  EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;
  r = PythonList(out, "pa ss");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("secret.txt\t50003"), std::string::npos) << r.output;
}

TEST_F(MksfxTest, SameInputGivesTheSameBytes) {
  WriteText(dir_ / "in" / "b.txt", "bbb");
  WriteText(dir_ / "in" / "a" / "c.txt", std::string(3000, 'c'));
  ASSERT_EQ(Mksfx("-o " + Quote(dir_ / "1.exe") + " " + Quote(dir_ / "in")).status, 0);
  ASSERT_EQ(Mksfx("-o " + Quote(dir_ / "2.exe") + " " + Quote(dir_ / "in")).status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "1.exe"), ReadBytes(dir_ / "2.exe"));
}

TEST_F(MksfxTest, OptionBlockFromTheCommandLine) {
  WriteText(dir_ / "in" / "a.txt", "a");
  const fs::path out = dir_ / "o.exe";
  ASSERT_EQ(Mksfx("--caption Cap --folder '{temp}\\앱' --run 'setup.exe|/S ><' --auto "
                  "--overwrite --wait-delete -o " +
                  Quote(out) + " " + Quote(dir_ / "in"))
                .status,
            0);
  const std::vector<uint8_t> bytes = ReadBytes(out);
  const std::vector<uint8_t> block(bytes.begin() + 0x1000, bytes.begin() + 0x1000 + 256);
  std::vector<uint8_t> expected =
      BuildOptionBlock(0xC8, Bytes("Cap"), Bytes("{temp}\\\xBE\xDB"), Bytes("setup.exe|/S ><"));
  EXPECT_EQ(block, expected);
}

// Every refusal names what is wrong, exits with 1 and leaves no output behind.
TEST_F(MksfxTest, Refusals) {
  WriteText(dir_ / "in" / "a.txt", "a");
  WriteText(dir_ / "emoji" / "smile😀.txt", "a");
  const std::string in = Quote(dir_ / "in");
  const struct {
    std::string args;
    const char* message;
  } cases[] = {
      {"--caption '" + std::string(256, 'x') + "' " + in, "caption"},
      {"--caption '" + std::string(128, 'x') + "' --folder '" + std::string(128, 'y') + "' " + in,
       "249"},
      {"--caption '가😀나' " + in, "'😀'"},
      {"--run 'ü.exe' --codepage 949 " + in, "'ü'"},
      {Quote(dir_ / "emoji"), "smile😀.txt"},
      {"--password '" + std::string(80, 'p') + "' " + in, "79"},
      {Quote(dir_ / "missing"), "no such file"},
  };
  for (const auto& c : cases) {
    const Result r = Mksfx("-o " + Quote(dir_ / "out.exe") + " " + c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "out.exe")) << c.args;
  }
  EXPECT_EQ(Mksfx("--level 12 -o x.exe " + in).status, 2);
}

// Archives from other tools: walkable ones are appended as they stand; the others are
// rewritten without recompressing (descriptors, comments, UTF-8 names, Unix attributes) or
// refused with the entry's name and the reason.
TEST_F(MksfxTest, ExistingArchives) {
  WriteText(dir_ / "src" / "one.txt", std::string(5000, '1'));
  WriteText(dir_ / "src" / "sub" / "two.txt", "two\n");
  const std::string src = Quote(dir_ / "src");
  const std::string piped = Quote(dir_ / "piped.zip"), commented = Quote(dir_ / "commented.zip");
  ASSERT_EQ(Shell("cd " + src + " && printf 'streamed data\\n' | zip -q -fz- - - | cat > " + piped)
                .status,
            0);
  ASSERT_EQ(Shell("cd " + src + " && echo 'a comment' | zip -q -r -z " + commented + " .").status,
            0);
  ASSERT_EQ(Shell("cd " + src + " && python3 -c \"import zipfile; z = zipfile.ZipFile('" +
                  (dir_ / "utf8.zip").string() +
                  "', 'w', zipfile.ZIP_DEFLATED); z.writestr('한글.txt', 'x' * 999); "
                  "z.writestr('folder/', '')\"")
                .status,
            0);
  ASSERT_EQ(
      Shell("cd " + src + " && zip -q -r -Z bzip2 " + Quote(dir_ / "bzip2.zip") + " .").status, 0);

  for (const char* name : {"piped.zip", "commented.zip", "utf8.zip"}) {
    const fs::path out = dir_ / (std::string(name) + ".exe");
    Result r = Mksfx("-o " + Quote(out) + " " + Quote(dir_ / name));
    ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
    EXPECT_NE(r.output.find("rewritten"), std::string::npos) << r.output;
    r = Shell(std::string(MKSFX_PATH) + " --test " + Quote(out));
    EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
  }
  Result r = PythonList(dir_ / "utf8.zip.exe");
  EXPECT_NE(r.output.find("한글.txt\t999"), std::string::npos) << r.output;

  // mksfx's own ZIP data is walkable as it stands.
  ASSERT_EQ(Mksfx("-o " + Quote(dir_ / "own.exe") + " " + src).status, 0);
  std::vector<uint8_t> own = ReadBytes(dir_ / "own.exe");
  std::ofstream(dir_ / "own.zip", std::ios::binary)
      .write(reinterpret_cast<const char*>(own.data()) + 0x1100,
             std::streamsize(own.size() - 0x1100));
  r = Mksfx("-o " + Quote(dir_ / "again.exe") + " " + Quote(dir_ / "own.zip"));
  EXPECT_NE(r.output.find("appended as it stands"), std::string::npos) << r.output;
  EXPECT_EQ(ReadBytes(dir_ / "again.exe"), own);

  r = Mksfx("-o " + Quote(dir_ / "b.exe") + " " + Quote(dir_ / "bzip2.zip"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("one.txt"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("compression method 12"), std::string::npos) << r.output;
}

}  // namespace
