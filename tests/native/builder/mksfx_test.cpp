// mksfx as its users run it: real folders, real archives from other tools, and the result read
// back by mksfx itself (the stub's own entry walk), Python's zipfile and Info-ZIP unzip. Every
// command runs in the test's folder, so paths are relative.
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

void WriteText(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Python's zipfile reads every entry of a whole self-extracting file, checking its CRC-32 and
// that no entry has a data descriptor: "name<TAB>size<TAB>attributes<TAB>same<TAB>method" per
// entry, "same" when the data equals the file of that name below argv[3], method 0 stored, 8
// deflated. Names are decoded from code page 949 unless flagged UTF-8.
constexpr char kReadScript[] = R"(import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for i in z.infolist():
    assert not i.flag_bits & 8, 'the stub reads no data descriptors'
    name = i.filename if i.flag_bits & 0x800 else i.filename.encode('cp437').decode('cp949')
    data = b'' if i.is_dir() else z.read(i, pwd=sys.argv[2].encode() or None)
    path = os.path.join(sys.argv[3], name)
    same = os.path.isdir(path) if i.is_dir() else os.path.isfile(path) and open(path, 'rb').read() == data
    print(name, len(data), oct(i.external_attr), 'same' if same else '-', i.compress_type, sep='\t')
)";

class Mksfx : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("mksfx_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    // A stand-in stub: a PE image whose file ends at its image end (0x1000).
    const std::vector<uint8_t> stub =
        testing_support::BuildPeImage({{0x400, 0x800}, {0xC00, 0x400}});
    WriteText(dir_ / "stub.exe", std::string(stub.begin(), stub.end()));
    WriteText(dir_ / "read.py", kReadScript);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Shell(const std::string& command) {
    Result r{-1, ""};
    std::FILE* pipe = popen(("cd '" + dir_.string() + "' && " + command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      r.output.append(buffer, got);
    const int status = pipe ? pclose(pipe) : -1;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }
  Result Run(const std::string& args) { return Shell(std::string(MKSFX_PATH) + " " + args); }
  Result Pack(const std::string& args) { return Run("--stub stub.exe " + args); }
  Result PythonRead(const std::string& file, const std::string& password = "",
                    const std::string& source = "/nonexistent") {
    return Shell("python3 read.py " + file + " '" + password + "' " + source);
  }

  fs::path dir_;
};

// Build, list, test, and read back byte for byte by other tools; the option block from the
// command line.
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

  // On a terminal (here a pseudo-terminal) a progress line names each file as it starts, also
  // within one percent: locked.txt, the sixth entry, starts at 99 % as the ones before it.
  Result r =
      Shell("python3 -c 'import pty, sys; pty.spawn(sys.argv[1:])' " + std::string(MKSFX_PATH) +
            " --stub stub.exe --caption '설치 프로그램' --folder '{temp}\\앱' "
            "--run 'setup.exe|/S ><' --auto --overwrite --wait-delete in -o setup.exe");
  ASSERT_NE(r.output.find("8 entries"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("99% (file 6 of 8)"), std::string::npos) << r.output;
  const std::string bytes = ReadText(dir_ / "setup.exe");
  const std::vector<uint8_t> block = testing_support::BuildOptionBlock(
      0xC8, testing_support::Bytes("\xBC\xB3\xC4\xA1 \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5"),
      testing_support::Bytes("{temp}\\\xBE\xDB"), testing_support::Bytes("setup.exe|/S ><"));
  EXPECT_EQ(bytes.substr(0x1000, 256), std::string(block.begin(), block.end()));

  // The DOS time of readme.txt is its modification time in local time.
  const std::time_t t = 1700000000;
  char local[32];
  std::strftime(local, sizeof local, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
  r = Run("--list setup.exe");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("설치 프로그램"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(std::string(local) + " readme.txt"), std::string::npos) << r.output;

  r = Run("--test setup.exe");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("  ok       readme.txt\n"), std::string::npos) << "each entry named";
  EXPECT_NE(r.output.find("setup.exe: 8 entries, 0 damaged"), std::string::npos) << r.output;

  // Sorted by path, folder entries only for empty folders, MS-DOS attributes only (0o40
  // archive, 0o41 archive + read-only, 0o20 folder), deflated only where that makes the file
  // smaller: big.log streams through zlib, guide.txt is deflated in memory.
  r = PythonRead("setup.exe", "", "in");
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

  r = Shell("unzip -t setup.exe");
  EXPECT_LE(r.status, 1) << r.output;  // 1: a warning about the stub in front
  EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;
}

// Deflated in memory; stored while streaming from the file (ZipCrypto reads it once for the
// CRC-32 its check byte needs); copied from a plain archive and encrypted on the way. AES-256,
// the default, is read back by 7-Zip; ZipCrypto by Python's zipfile and Info-ZIP.
TEST_F(Mksfx, EncryptedArchiveOpensWithThePasswordOnly) {
  WriteText(dir_ / "in" / "secret.txt", std::string(50000, 's') + "end");
  WriteText(dir_ / "in" / "small.txt", "x");
  ASSERT_EQ(Shell("cd in && python3 -c \"import zipfile; z = zipfile.ZipFile('../in.zip', 'w', 8); "
                  "z.write('secret.txt'); z.write('small.txt')\"")
                .status,
            0);
  const struct {
    const char *inputs, *secret, *small;  // methods
  } cases[] = {{.inputs = "--level 6 in", .secret = "8", .small = "0"},
               {.inputs = "--level 0 in", .secret = "0", .small = "0"},
               {.inputs = "in.zip", .secret = "8", .small = "8"}};
  for (const bool aes : {true, false})
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.inputs) + (aes ? " aes256" : " zipcrypto"));
      Result r = Pack(std::string("--password 'pa ss' -o secret.exe ") +
                      (aes ? "" : "--encryption zipcrypto ") + c.inputs);
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(Run("--test secret.exe").status, 2) << "no password";
      EXPECT_EQ(Run("--test secret.exe --password wrong").status, 2);
      r = Run("--test secret.exe --password 'pa ss'");
      EXPECT_EQ(r.status, 0) << r.output;
      if (!aes) {
        EXPECT_EQ(PythonRead("secret.exe", "pa ss", "in").output,
                  "secret.txt\t50003\t0o40\tsame\t" + std::string(c.secret) +
                      "\nsmall.txt\t1\t0o40\tsame\t" + c.small + "\n");
        r = Shell("unzip -t -P 'pa ss' secret.exe");
        EXPECT_NE(r.output.find("No errors detected"), std::string::npos) << r.output;
        continue;
      }
      // AE-1 for the long file; AE-2, without its CRC-32, for the one under 20 bytes.
      r = Run("--list secret.exe");
      EXPECT_NE(r.output.find("secret.txt  (AES-256 AE-1)"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find("small.txt  (AES-256 AE-2)"), std::string::npos) << r.output;
      fs::remove_all(dir_ / "x");
      r = Shell("7z x -bd -p'pa ss' -ox secret.exe");
      EXPECT_NE(r.output.find("Everything is Ok"), std::string::npos) << r.output;
      EXPECT_EQ(ReadText(dir_ / "x" / "secret.txt"), ReadText(dir_ / "in" / "secret.txt"));
      EXPECT_EQ(ReadText(dir_ / "x" / "small.txt"), "x");
    }

  // A password that is not ASCII: AES takes its UTF-8, the stub's box gives code page 949;
  // --test tries both, as the stub does.
  ASSERT_EQ(Pack("--password '비밀 번호' -o korean.exe in").status, 0);
  EXPECT_EQ(Run("--test korean.exe --password '비밀 번호'").status, 0);
  EXPECT_EQ(Run("--test korean.exe --password '비밀'").status, 2);
}

// Every refusal names what is wrong, exits with 1 and leaves no output behind; a failed read
// names the source and a failed write the output, each with the system's reason, and an output
// that is no file (a device) is not removed. Root reads any file, so the unreadable source is
// a link to a write-only file of the kernel's, which no one may read.
TEST_F(Mksfx, RefusalsAndReadAndWriteFailures) {
  WriteText(dir_ / "in" / "a.txt", "a");
  WriteText(dir_ / "emoji" / "smile😀.txt", "a");
  {  // incompressible, so that its data runs into a small file size limit
    std::ofstream noise((fs::create_directories(dir_ / "noise"), dir_ / "noise" / "noise.bin"));
    std::mt19937 random(7);
    for (int i = 0; i < (1 << 18); ++i) noise.put(char(random()));
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
  // Opens, but reading it fails (address 0 of the reading process is not mapped).
  fs::create_directories(dir_ / "proc");
  fs::create_symlink("/proc/self/mem", dir_ / "proc" / "mem.bin");
  // A file size limit of 32 KiB, which makes writes beyond it fail with EFBIG.
  const std::string limit = "trap '' XFSZ; ulimit -f 64; ", tooLarge = "cannot write out.exe: ";
  const struct {
    std::string args, message, shell = "", output = "out.exe";
  } cases[] = {
      {.args = "--caption '" + std::string(256, 'x') + "' in", .message = "caption"},
      {.args = "--run 'ü.exe' --codepage 949 in", .message = "'ü'"},
      {.args = "emoji", .message = "smile😀.txt"},
      {.args = "emoji/smile😀.txt", .message = "smile😀.txt"},
      {.args = "--password '" + std::string(80, 'p') + "' in", .message = "79"},
      {.args = "--password 'aüb' in", .message = "the password holds a character that"},
      {.args = "missing", .message = "no such file"},
      {.args = "--stub in/a.txt in", .message = "no PE image"},
      {.args = "--stub in in", .message = "cannot read in: Is a directory"},
      {.args = "links", .message = "cannot read links/unreadable.txt: Permission denied"},
      {.args = "unreadable.zip", .message = "cannot read unreadable.zip: Permission denied"},
      {.args = "--level 0 proc", .message = "cannot read proc/mem.bin: Input/output error"},
      {.args = "in", .message = "cannot write /dev/full: No space left", .output = "/dev/full"},
      {.args = "noise", .message = tooLarge + "File too large", .shell = limit},
      {.args = "--level 0 noise", .message = tooLarge + "File too large", .shell = limit},
      {.args = "zeros", .message = tooLarge + "File too large", .shell = limit},
  };
  for (const auto& c : cases) {
    const Result r = Shell(c.shell + MKSFX_PATH + " --stub stub.exe -o " + c.output + " " + c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "out.exe")) << c.args;
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_EQ(Pack("--level 12 -o x.exe in").status, 7) << "a usage error";

  // A file that says it is empty and is not (as /proc files do) is packed whole.
  fs::create_directories(dir_ / "says_empty");
  fs::create_symlink("/proc/self/status", dir_ / "says_empty" / "status.txt");
  ASSERT_EQ(Pack("-o status.exe says_empty").status, 0);
  const Result unzipped = Shell("unzip -p status.exe");
  EXPECT_NE(unzipped.output.find("Name:\tmksfx"), std::string::npos) << unzipped.output;
}

// Archives from other tools: walkable ones are appended as they stand; the others are
// rewritten without recompressing (descriptors, comments, UTF-8 names, Unix attributes) or
// refused with the entry's name and the reason.
TEST_F(Mksfx, ExistingArchives) {
  WriteText(dir_ / "src" / "one.txt", std::string(5000, '1'));
  WriteText(dir_ / "src" / "sub" / "two.txt", "two\n");
  for (const std::string& make :
       {"printf 'streamed data\\n' | zip -q -fz- - - | cat > ../piped.zip",
        "echo 'a comment' | zip -q -r -z ../commented.zip .",
        "python3 -c \"import zipfile; z = zipfile.ZipFile('../utf8.zip', 'w', 8); "
        "z.writestr('한글.txt', 'x' * 999); z.writestr('folder/', ''); "
        "i = zipfile.ZipInfo('ro.txt'); i.external_attr = 0o100444 << 16; z.writestr(i, 'r')\"",
        "zip -q -r -Z bzip2 ../bzip2.zip .", "zip -q -r -P secret ../encrypted.zip .",
        "7z a -tzip -bd -bso0 -mem=AES256 -psecret ../aes.zip ."})
    ASSERT_EQ(Shell("cd src && " + make).status, 0) << make;

  for (const std::string name : {"piped.zip", "commented.zip", "utf8.zip"}) {
    Result r = Pack("-o " + name + ".exe " + name);
    ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
    EXPECT_NE(r.output.find("rewritten"), std::string::npos) << r.output;
    r = Run("--test " + name + ".exe");
    EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
  }
  // Names in the code page, Unix modes as MS-DOS attributes (0o444: read-only).
  EXPECT_EQ(PythonRead("utf8.zip.exe").output,
            "한글.txt\t999\t0o40\t-\t8\nfolder/\t0\t0o20\t-\t8\nro.txt\t1\t0o41\t-\t0\n");

  // The same input gives the same bytes, and mksfx's own ZIP data is walkable as it stands.
  ASSERT_EQ(Pack("-o own.exe src").status, 0);
  ASSERT_EQ(Pack("-o own2.exe src").status, 0);
  const std::string own = ReadText(dir_ / "own.exe");
  EXPECT_TRUE(ReadText(dir_ / "own2.exe") == own);
  WriteText(dir_ / "own.zip", own.substr(0x1100));
  Result r = Pack("-o again.exe own.zip");
  EXPECT_NE(r.output.find("appended as it stands"), std::string::npos) << r.output;
  EXPECT_TRUE(ReadText(dir_ / "again.exe") == own);

  // Encrypted entries, ZipCrypto or AES, are kept as they stand, and the password still opens
  // every entry.
  ASSERT_EQ(Pack("-o e.exe encrypted.zip").status, 0);
  EXPECT_EQ(Run("--test e.exe --password secret").status, 0);
  // 7-Zip's AES archive carries Unix attributes: rewritten, each entry's AES field with it.
  r = Pack("-o aes.exe aes.zip");
  EXPECT_NE(r.output.find("data copied without recompressing"), std::string::npos) << r.output;
  EXPECT_EQ(Run("--test aes.exe --password secret").status, 0);
  EXPECT_EQ(Run("--test aes.exe --password wrong").status, 2);

  r = Pack("-o b.exe bzip2.zip");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("one.txt"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("compression method 12"), std::string::npos) << r.output;
}

// --list and --test read Zip64 records as the stub does: Info-ZIP's -fz archive (Zip64 fields
// and end records) lists and tests clean; with its locator pointing elsewhere, or without the
// local Zip64 field its header defers to, it is damaged for both, exit code 2.
TEST_F(Mksfx, Zip64RecordsListedAndTested) {
  WriteText(dir_ / "src" / "a.txt", "alpha\n");
  ASSERT_EQ(Shell("cd src && zip -q -fz ../z64.zip a.txt").status, 0);
  const std::string z64 = ReadText(dir_ / "z64.zip");
  std::string locator = z64, local = z64;
  locator[z64.size() - 22 - 20 + 8] ^= 0x40;            // the offset of the Zip64 end record
  local[z64.find(std::string("\x01\0\x10\0", 4))] = 9;  // the local field's id
  WriteText(dir_ / "locator.zip", locator);
  WriteText(dir_ / "local.zip", local);
  Result r = Run("--list z64.zip");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("stored              6            6 "), std::string::npos) << r.output;
  EXPECT_EQ(Run("--test z64.zip").output, "  ok       a.txt\nz64.zip: 1 entries, 0 damaged\n");
  for (const std::string name : {"locator.zip", "local.zip"}) {
    r = Run("--list " + name);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("damaged: a Zip64 record"), std::string::npos) << r.output;
    r = Run("--test " + name);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find(name + ": 1 entries, 1 damaged"), std::string::npos) << r.output;
  }
}

}  // namespace
