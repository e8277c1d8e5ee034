// mksfx as its users run it: real folders, real archives from other tools, and the result read
// back by mksfx itself, Python's zipfile and Info-ZIP unzip.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/pe_builder.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

Result Shell(const std::string& command) {
  Result r{-1, ""};
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    r.output.append(buffer, got);
  const int status = pipe ? pclose(pipe) : -1;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void WriteText(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Mksfx : public ::testing::Test {
 protected:
  static std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("mksfx_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    // A stand-in stub: a PE image whose file ends at its image end (0x1000).
    const std::vector<uint8_t> stub =
        testing_support::BuildPeImage({{0x400, 0x800}, {0xC00, 0x400}});
    WriteText(dir_ / "stub.exe", std::string(stub.begin(), stub.end()));
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Run(const std::string& args) { return Shell(std::string(MKSFX_PATH) + " " + args); }
  Result Pack(const std::string& args) {
    return Run("--stub " + Quote(dir_ / "stub.exe") + " " + args);
  }

  // Python's zipfile reads every entry of the whole self-extracting file (checking its CRC-32 and
  // that no entry has a data descriptor):
  // "name<TAB>size<TAB>attributes<TAB>same<TAB>method" per entry, "same" when the data equals
  // the file of that name below `source`, method 0 stored, 8 deflated. Names are decoded from code
  // page 949 unless flagged UTF-8.
  Result PythonRead(const fs::path& file, const std::string& password = "",
                    const fs::path& source = "/nonexistent") {
    WriteText(dir_ / "read.py", R"(import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    assert not i.flag_bits & 8, 'the stub reads no data descriptors'
    name = i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('cp949')
    data = b'' if i.is_dir() else z.read(i, pwd=sys.argv[2].encode() or None)
    path = os.path.join(sys.argv[3], name)
    same = os.path.isdir(path) if i.is_dir() else os.path.isfile(path) and open(path, 'rb').read() == data
    print(name, len(data), oct(i.external_attr), 'same' if same else '-', i.compress_type, sep='\t')
)");
    return Shell("python3 " + Quote(dir_ / "read.py") + " " + Quote(file) + " '" + password + "' " +
                 Quote(source));
  }

  fs::path dir_;
};

// Build, list, test, and read back byte for byte by other tools.
TEST_F(Mksfx, FolderTreeRoundTrip) {
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
    for (int i = 0; big.tellp() < (65 << 20) + 12345; ++i)
      big << "line " << i << " value " << random() % 100000 << "\n";
  }
  const struct utimbuf when = {1700000000, 1700000000};
  utime((in / "readme.txt").c_str(), &when);

  const fs::path out = dir_ / "setup.exe";
  Result r = Pack("--caption '설치 프로그램' -o " + Quote(out) + " " + Quote(in));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("8 entries"), std::string::npos) << r.output;

  // The DOS time of readme.txt is its modification time in local time.
  const std::time_t t = 1700000000;
  char local[32];
  std::strftime(local, sizeof local, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
  r = Run("--list " + Quote(out));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("설치 프로그램"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(std::string(local) + " readme.txt"), std::string::npos) << r.output;

  r = Run("--test " + Quote(out));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("  ok       readme.txt\n"), std::string::npos) << "each entry named";
  EXPECT_NE(r.output.find("0 damaged"), std::string::npos) << r.output;

  // Sorted by path, folder entries only for empty folders, MS-DOS attributes only (0o40
  // archive, 0o41 archive + read-only, 0o20 folder), deflated only where that makes the file
  // smaller: big.log streams through zlib, guide.txt is deflated in memory.
  r = PythonRead(out, "", in);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "big.log\t" + std::to_string(fs::file_size(in / "big.log")) +
                          "\t0o40\tsame\t8\n"
                          "docs/also empty/\t0\t0o20\tsame\t0\n"
                          "docs/deep/deeper/empty.bin\t0\t0o40\tsame\t0\n"
                          "docs/guide.txt\t10000\t0o40\tsame\t8\n"
                          "empty folder/\t0\t0o20\tsame\t0\n"
                          "locked.txt\t10\t0o41\tsame\t0\n"
                          "readme.txt\t8\t0o40\tsame\t0\n"
                          "한글 문서.txt\t12\t0o40\tsame\t0\n");

  r = Shell("unzip -t " + Quote(out));
  EXPECT_LE(r.status, 1) << r.output;  // 1: a warning about the stub in front
  EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;
}

TEST_F(Mksfx, EncryptedArchiveOpensWithThePasswordOnly) {
  WriteText(dir_ / "in" / "secret.txt", std::string(50000, 's') + "end");
  WriteText(dir_ / "in" / "small.txt", "x");
  // Deflated in memory; stored while streaming from the file (read once for the CRC-32 that
  // the check byte needs); copied from a plain archive and encrypted on the way.
  ASSERT_EQ(Shell("cd " + Quote(dir_ / "in") +
                  " && python3 -c \"import zipfile; z = zipfile.ZipFile('../in.zip', 'w', 8); "
                  "z.write('secret.txt'); z.write('small.txt')\"")
                .status,
            0);
  const std::pair<std::string, std::string> cases[] = {
      {"--level 6 " + Quote(dir_ / "in"), "8\nsmall.txt\t1\t0o40\tsame\t0\n"},
      {"--level 0 " + Quote(dir_ / "in"), "0\nsmall.txt\t1\t0o40\tsame\t0\n"},
      {Quote(dir_ / "in.zip"), "8\nsmall.txt\t1\t0o40\tsame\t8\n"},
  };
  for (const auto& [inputs, methods] : cases) {
    const fs::path out = dir_ / "secret.exe";
    Result r = Pack("--password 'pa ss' -o " + Quote(out) + " " + inputs);
    ASSERT_EQ(r.status, 0) << r.output;

    const std::string test = "--test " + Quote(out);
    EXPECT_EQ(Run(test).status, 1) << "no password";
    EXPECT_EQ(Run(test + " --password wrong").status, 1);
    r = Run(test + " --password 'pa ss'");
    EXPECT_EQ(r.status, 0) << r.output;

    r = PythonRead(out, "pa ss", dir_ / "in");
    EXPECT_EQ(r.output, "secret.txt\t50003\t0o40\tsame\t" + methods) << inputs;
    r = Shell("unzip -t -P 'pa ss' " + Quote(out));
    EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;
  }
}

// The option block from the command line, and the same input giving the same bytes.
TEST_F(Mksfx, OptionBlockAndReproducibleOutput) {
  WriteText(dir_ / "in" / "a.txt", "a");
  WriteText(dir_ / "in" / "b" / "c.txt", std::string(3000, 'c'));
  const std::string args =
      "--caption Cap --folder '{temp}\\앱' --run 'setup.exe|/S ><' --auto "
      "--overwrite --wait-delete " +
      Quote(dir_ / "in") + " -o ";
  ASSERT_EQ(Pack(args + Quote(dir_ / "1.exe")).status, 0);
  ASSERT_EQ(Pack(args + Quote(dir_ / "2.exe")).status, 0);
  const std::string bytes = ReadText(dir_ / "1.exe");
  EXPECT_EQ(bytes, ReadText(dir_ / "2.exe"));
  const std::vector<uint8_t> block = testing_support::BuildOptionBlock(
      0xC8, testing_support::Bytes("Cap"), testing_support::Bytes("{temp}\\\xBE\xDB"),
      testing_support::Bytes("setup.exe|/S ><"));
  EXPECT_EQ(bytes.substr(0x1000, 256), std::string(block.begin(), block.end()));
}

// Every refusal names what is wrong, exits with 1 and leaves no output behind.
TEST_F(Mksfx, Refusals) {
  WriteText(dir_ / "in" / "a.txt", "a");
  WriteText(dir_ / "emoji" / "smile😀.txt", "a");
  const std::string in = Quote(dir_ / "in");
  const std::pair<std::string, const char*> cases[] = {
      {"--caption '" + std::string(256, 'x') + "' " + in, "caption"},
      {"--run 'ü.exe' --codepage 949 " + in, "'ü'"},
      {Quote(dir_ / "emoji"), "smile😀.txt"},
      {Quote(dir_ / "emoji" / "smile😀.txt"), "smile😀.txt"},
      {"--password '" + std::string(80, 'p') + "' " + in, "79"},
      {Quote(dir_ / "missing"), "no such file"},
      {"--stub " + Quote(dir_ / "in" / "a.txt") + " " + in, "no PE image"},
  };
  for (const auto& [args, message] : cases) {
    const Result r = Pack("-o " + Quote(dir_ / "out.exe") + " " + args);
    EXPECT_EQ(r.status, 1) << args << "\n" << r.output;
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "out.exe")) << args;
  }
  EXPECT_EQ(Pack("--level 12 -o x.exe " + in).status, 2);
}

// A failed read names the source and a failed write the output, each with the system's
// reason; both exit with 1 and leave no half-written file behind, and an output that is no
// file (a device) is not removed. Root reads any file, so the unreadable source is a link to
// a write-only file of the kernel's, which no one may read.
TEST_F(Mksfx, ReadAndWriteFailures) {
  const fs::path out = dir_ / "out.exe", stub = dir_ / "stub.exe";
  WriteText(dir_ / "in" / "a.txt", "a");
  {  // incompressible, so that its data runs into a small file size limit
    fs::create_directories(dir_ / "noise");
    std::ofstream noise(dir_ / "noise" / "noise.bin", std::ios::binary);
    std::mt19937 random(7);
    for (int i = 0; i < (1 << 18); ++i) {
      const uint32_t word = random();
      noise.write(reinterpret_cast<const char*>(&word), sizeof word);
    }
  }
  // Zeros beyond the in-memory limit: streamed through zlib, some 65 KB of deflate data.
  fs::create_directories(dir_ / "zeros");
  std::ofstream(dir_ / "zeros" / "zeros.bin").close();
  fs::resize_file(dir_ / "zeros" / "zeros.bin", 65u << 20);
  const fs::path unreadable = "/proc/sys/vm/compact_memory";
  ASSERT_NE(access(unreadable.c_str(), R_OK), 0) << "needs a file that root cannot read";
  fs::create_directories(dir_ / "links");
  fs::create_symlink(unreadable, dir_ / "links" / "unreadable.txt");
  fs::create_symlink(unreadable, dir_ / "unreadable.zip");
  // A file size limit of 32 KiB, which makes writes beyond it fail with EFBIG.
  const std::string limit = "trap '' XFSZ; ulimit -f 64; ";
  const struct {
    std::string shell = "";
    fs::path stub, output;
    std::string inputs, message;
  } cases[] = {
      {.stub = stub,
       .output = "/dev/full",
       .inputs = Quote(dir_ / "in"),
       .message = "cannot write /dev/full: No space left on device"},
      {.shell = limit,
       .stub = stub,
       .output = out,
       .inputs = Quote(dir_ / "noise"),
       .message = "cannot write " + out.string() + ": File too large"},
      {.shell = limit,
       .stub = stub,
       .output = out,
       .inputs = "--level 0 " + Quote(dir_ / "noise"),
       .message = "cannot write " + out.string() + ": File too large"},
      {.shell = limit,
       .stub = stub,
       .output = out,
       .inputs = Quote(dir_ / "zeros"),
       .message = "cannot write " + out.string() + ": File too large"},
      {.stub = stub,
       .output = out,
       .inputs = Quote(dir_ / "links"),
       .message =
           "cannot read " + (dir_ / "links" / "unreadable.txt").string() + ": Permission denied"},
      {.stub = stub,
       .output = out,
       .inputs = Quote(dir_ / "unreadable.zip"),
       .message = "cannot read " + (dir_ / "unreadable.zip").string() + ": Permission denied"},
      {.stub = dir_ / "in",
       .output = out,
       .inputs = Quote(dir_ / "in"),
       .message = "cannot read " + (dir_ / "in").string() + ": Is a directory"},
  };
  for (const auto& c : cases) {
    const Result r = Shell(c.shell + MKSFX_PATH + " --stub " + Quote(c.stub) + " -o " +
                           Quote(c.output) + " " + c.inputs);
    EXPECT_EQ(r.status, 1) << c.inputs << "\n" << r.output;
    EXPECT_NE(r.output.find("mksfx: " + c.message + "\n"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out)) << c.inputs;
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Archives from other tools: walkable ones are appended as they stand; the others are
// rewritten without recompressing (descriptors, comments, UTF-8 names, Unix attributes) or
// refused with the entry's name and the reason.
TEST_F(Mksfx, ExistingArchives) {
  WriteText(dir_ / "src" / "one.txt", std::string(5000, '1'));
  WriteText(dir_ / "src" / "sub" / "two.txt", "two\n");
  const std::string cd = "cd " + Quote(dir_ / "src") + " && ";
  for (const std::string& make :
       {"printf 'streamed data\\n' | zip -q -fz- - - | cat > ../piped.zip",
        "echo 'a comment' | zip -q -r -z ../commented.zip .",
        "python3 -c \"import zipfile; z = zipfile.ZipFile('../utf8.zip', 'w', 8); "
        "z.writestr('한글.txt', 'x' * 999); z.writestr('folder/', ''); "
        "i = zipfile.ZipInfo('ro.txt'); i.external_attr = 0o100444 << 16; z.writestr(i, 'r')\"",
        "zip -q -r -Z bzip2 ../bzip2.zip .", "zip -q -r -P secret ../encrypted.zip ."})
    ASSERT_EQ(Shell(cd + make).status, 0) << make;

  for (const char* name : {"piped.zip", "commented.zip", "utf8.zip"}) {
    const fs::path out = dir_ / (std::string(name) + ".exe");
    Result r = Pack("-o " + Quote(out) + " " + Quote(dir_ / name));
    ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
    EXPECT_NE(r.output.find("rewritten"), std::string::npos) << r.output;
    r = Run("--test " + Quote(out));
    EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
  }
  // Names in the code page, Unix modes as MS-DOS attributes (0o444: read-only).
  Result r = PythonRead(dir_ / "utf8.zip.exe");
  EXPECT_EQ(r.output, "한글.txt\t999\t0o40\t-\t8\nfolder/\t0\t0o20\t-\t8\nro.txt\t1\t0o41\t-\t0\n");

  // mksfx's own ZIP data is walkable as it stands.
  ASSERT_EQ(Pack("-o " + Quote(dir_ / "own.exe") + " " + Quote(dir_ / "src")).status, 0);
  const std::string own = ReadText(dir_ / "own.exe");
  WriteText(dir_ / "own.zip", own.substr(0x1100));
  r = Pack("-o " + Quote(dir_ / "again.exe") + " " + Quote(dir_ / "own.zip"));
  EXPECT_NE(r.output.find("appended as it stands"), std::string::npos) << r.output;
  EXPECT_EQ(ReadText(dir_ / "again.exe"), own);

  // Traditional encryption is kept as it stands, and the password still opens every entry.
  r = Pack("-o " + Quote(dir_ / "e.exe") + " " + Quote(dir_ / "encrypted.zip"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Run("--test " + Quote(dir_ / "e.exe") + " --password secret").status, 0);

  r = Pack("-o " + Quote(dir_ / "b.exe") + " " + Quote(dir_ / "bzip2.zip"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("one.txt"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("compression method 12"), std::string::npos) << r.output;
}

}  // namespace
