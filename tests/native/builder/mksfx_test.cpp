// mksfx as its users run it: real folders, real archives from other tools, and the result read
// back by mksfx itself (the stub's own entry walk), Python's zipfile, Info-ZIP unzip and 7-Zip.
// Every command runs in the test's folder, so paths are relative. Zip64 for files of 4 GiB and
// more is checked on the writer itself (Zip64ForAFileOf5GiB below).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "builder/zip_writer.h"
#include "tests/support/files.h"
#include "tests/support/pe_builder.h"

namespace fs = std::filesystem;
using testing_support::ReadText;
using testing_support::WriteText;

namespace {

struct Result {
  int status;
  std::string output;  // stdout and stderr
};

// Python scripts beside this file: read_zip.py reads every entry back, zip64_records.py shows
// the Zip64 records.
const std::string kScripts = MKSFX_TEST_DIR;

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
    return Shell("python3 " + kScripts + "/read_zip.py " + file + " '" + password + "' " + source);
  }

  fs::path dir_;
};

// A folder tree, packed stored with UTC times, is byte for byte what ordinary.zip holds, as an
// archive that needs no Zip64 record and no UTF-8 name is: no extra fields, version needed 2.0,
// the 22-byte end record, offsets counted from the program's start (0x1100 bytes of stub and
// option block in front). With more files, and the option block from the command line, it is
// listed (with the stub's architecture), tested and read back by Python's zipfile. A signed
// program's listing names its certificate table.
TEST_F(Mksfx, FolderTreeRoundTrip) {
  const fs::path in = dir_ / "in";
  WriteText(in / "readme.txt", "read me\n");
  WriteText(in / "한글 문서.txt", "Korean name\n");
  WriteText(in / "docs" / "guide.txt", std::string(100, 'g'));
  WriteText(in / "locked.txt", "read-only\n");
  chmod((in / "locked.txt").c_str(), 0444);
  fs::create_directories(in / "empty folder");
  const struct utimbuf when = {1700000000, 1700000000};
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(in))
    utime(e.path().c_str(), &when);
  Result r = Shell("TZ=UTC " + std::string(MKSFX_PATH) +
                   " --stub stub.exe --level 0 --caption 'Setup' -o out.exe in");
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string zip = ReadText(dir_ / "out.exe").substr(0x1100);
  const std::string reference = ReadText(kScripts + "/data/ordinary.zip");
  const auto [ours, theirs] =
      std::mismatch(zip.begin(), zip.end(), reference.begin(), reference.end());
  EXPECT_TRUE(ours == zip.end() && theirs == reference.end())
      << "first difference at ZIP offset " << (ours - zip.begin());

  WriteText(in / "docs" / "deep" / "deeper" / "empty.bin", "");
  fs::create_directories(in / "docs" / "also empty");
  {  // a file over 64 MiB of varied, compressible text
    std::ofstream big(in / "big.log", std::ios::binary);
    std::mt19937 random(42);
    for (int i = 0; big.tellp() < (65 << 20) + 12345; ++i)
      big << "line " << i << " value " << random() % 100000 << "\n";
  }
  // On a terminal (here a pseudo-terminal) a progress line names each file as it starts, also
  // within one percent: locked.txt, the sixth entry, starts at 99 % as the ones before it.
  r = Shell("python3 -c 'import pty, sys; pty.spawn(sys.argv[1:])' " + std::string(MKSFX_PATH) +
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
  EXPECT_NE(r.output.find("  stub          x86\n"), std::string::npos) << r.output;
  const std::vector<uint8_t> x64 = testing_support::BuildPeImage(
      {{0x400, 0x800}, {0xC00, 0x400}}, testing_support::PeFormat::Pe32Plus);
  WriteText(dir_ / "x64.exe", std::string(x64.begin(), x64.end()));
  ASSERT_EQ(Run("--stub x64.exe -o setup64.exe in").status, 0);
  EXPECT_NE(Run("--list setup64.exe").output.find("  stub          x64\n"), std::string::npos);
  // A signed program's certificate table, which ends its ZIP data, is named.
  r = Run(std::string("--list ") + SELF_EXTRACTORS + "/sfx_signed.exe");
  EXPECT_NE(r.output.find("signature     certificate table at "), std::string::npos) << r.output;

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
                          "docs/guide.txt\t100\t0o40\tsame\t8\n"
                          "empty folder/\t0\t0o20\tsame\t0\n"
                          "locked.txt\t10\t0o41\tsame\t0\n"
                          "readme.txt\t8\t0o40\tsame\t0\n"
                          "한글 문서.txt\t12\t0o40\tsame\t0\n");
}

// Deflated in memory; stored while streaming from the file (ZipCrypto reads it once for the
// CRC-32 its check byte needs); copied from a plain archive and encrypted on the way. AES-256,
// the default, is read back by 7-Zip; ZipCrypto by Python's zipfile. --test finds a changed
// byte, and names the authentication code where there is one, or an encryption header cut short.
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
      // The last byte of secret.txt's data (with AES, of its authentication code) changed.
      std::string damaged = ReadText(dir_ / "secret.exe");
      damaged[damaged.rfind("PK\3\4", damaged.find("small.txt")) - 1] ^= 1;
      WriteText(dir_ / "damaged.exe", damaged);
      r = Run("--test damaged.exe --password 'pa ss'");
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.output.find("damaged.exe: 2 entries, 1 damaged"), std::string::npos) << r.output;
      EXPECT_NE(r.output.find(aes ? "damaged: authentication code" : "damaged: CRC-32"),
                std::string::npos)
          << r.output;
      if (!aes) {
        EXPECT_EQ(PythonRead("secret.exe", "pa ss", "in").output,
                  "secret.txt\t50003\t0o40\tsame\t" + std::string(c.secret) +
                      "\nsmall.txt\t1\t0o40\tsame\t" + c.small + "\n");
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
  // Cut inside the first entry's salt: damage, whatever the password.
  const std::string sealed = ReadText(dir_ / "korean.exe");
  WriteText(dir_ / "cut.exe", sealed.substr(0, sealed.find("secret.txt") + 10 + 11 + 5));
  const Result cut = Run("--test cut.exe --password '비밀 번호'");
  EXPECT_NE(cut.output.find("damaged: its encryption header is cut short"), std::string::npos)
      << cut.output;
}

// Every refusal names what is wrong, exits with 2 and leaves no output behind; a failed read
// names the source and a failed write the output, each with the system's reason, and an output
// that is no file (a device) is not removed. Root reads any file, so the unreadable source is
// a link to a write-only file of the kernel's, which no one may read.
TEST_F(Mksfx, RefusalsAndReadAndWriteFailures) {
  WriteText(dir_ / "in" / "a.txt", "a");
  WriteText(dir_ / "latin1" / "caf\xE9.txt", "a");  // a name in ISO 8859-1, no UTF-8
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
  // A file whose path is longer than a path may be, in a folder whose path is not.
  std::string deep = "deep", name(250, 'f');
  for (int i = 0; i < 16; ++i) deep += "/" + std::string(250, 'd');
  ASSERT_EQ(Shell("mkdir -p " + deep + " && cd " + deep + " && : >" + name).status, 0);
  // A file size limit of 32 KiB, which makes writes beyond it fail with EFBIG.
  const std::string limit = "trap '' XFSZ; ulimit -f 64; ", tooLarge = "cannot write out.exe: ";
  const struct {
    std::string args, message, shell = "", output = "out.exe";
  } cases[] = {
      {.args = "--caption '" + std::string(256, 'x') + "' in", .message = "caption"},
      {.args = "--run 'ü.exe' --codepage 949 in", .message = "'ü'"},
      {.args = "latin1", .message = "is no UTF-8"},
      {.args = "--password '" + std::string(80, 'p') + "' in", .message = "79"},
      {.args = "--password 'aüb' in", .message = "the password holds a character that"},
      {.args = "missing", .message = "no such file"},
      {.args = "--stub in/a.txt in", .message = "no PE image"},
      {.args = "--stub in in", .message = "cannot read in: Is a directory"},
      {.args = "links", .message = "cannot read links/unreadable.txt: Permission denied"},
      {.args = "unreadable.zip", .message = "cannot read unreadable.zip: Permission denied"},
      {.args = "--level 0 proc", .message = "cannot read proc/mem.bin: Input/output error"},
      {.args = "deep", .message = name + ": File name too long"},
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
// rewritten without recompressing (descriptors, archive and file comments, UTF-8 names, Zip64
// records, Unix attributes) or refused, naming the reason and, where one entry is at fault, the
// entry (an unknown method; a part of a split archive). An archive without entries lists as
// sound.
TEST_F(Mksfx, ExistingArchives) {
  WriteText(dir_ / "src" / "one.txt", std::string(5000, '1'));
  WriteText(dir_ / "src" / "sub" / "two.txt", "two\n");
  for (const std::string& make :
       {"printf 'streamed data\\n' | zip -q -fz- - - | cat > ../piped.zip",
        "echo 'a comment' | zip -q -r -z ../commented.zip .",
        "python3 -c \"import zipfile; z = zipfile.ZipFile('../utf8.zip', 'w', 8); "
        "z.writestr('한글.txt', 'x' * 999); z.writestr('folder/', ''); z.writestr('😀.txt', 'e'); "
        "z.infolist()[0].comment = b'a file comment'; "
        "i = zipfile.ZipInfo('ro.txt'); i.external_attr = 0o100444 << 16; z.writestr(i, 'r')\"",
        "zip -q -r -fz ../zip64.zip .", "zip -q -r -Z bzip2 ../bzip2.zip .",
        "zip -q -r -P secret ../encrypted.zip .",
        "7z a -tzip -bd -bso0 -mem=AES256 -psecret ../aes.zip ."})
    ASSERT_EQ(Shell("cd src && " + make).status, 0) << make;

  for (const std::string name : {"piped.zip", "commented.zip", "utf8.zip", "zip64.zip"}) {
    Result r = Pack("-o " + name + ".exe " + name);
    ASSERT_EQ(r.status, 0) << name << "\n" << r.output;
    EXPECT_NE(r.output.find("rewritten"), std::string::npos) << r.output;
    r = Run("--test " + name + ".exe");
    EXPECT_EQ(r.status, 0) << name << "\n" << r.output;
  }
  // Names in the code page where it holds them, else UTF-8 and still flagged (read_zip.py decodes
  // unflagged names as code page 949); Unix modes as MS-DOS attributes (0o444: read-only).
  EXPECT_EQ(PythonRead("utf8.zip.exe").output,
            "한글.txt\t999\t0o40\t-\t8\nfolder/\t0\t0o20\t-\t8\n😀.txt\t1\t0o40\t-\t8\n"
            "ro.txt\t1\t0o41\t-\t0\n");

  // A walkable ZIP (MS-DOS attributes, no descriptors, no comment) is appended as it stands.
  ASSERT_EQ(Shell("cd src && zip -q -r -k ../dos.zip .").status, 0);
  // Its offsets are moved to count from the program's start, as `zip -A` does.
  Result r = Pack("-o dos.exe dos.zip");
  EXPECT_NE(r.output.find("appended as it stands"), std::string::npos) << r.output;
  EXPECT_EQ(Run("--test dos.exe").status, 0);
  r = Shell("unzip -t dos.exe");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("extra bytes"), std::string::npos) << r.output;

  // Encrypted entries, ZipCrypto or AES, are kept as they stand, and the password still opens
  // every entry.
  ASSERT_EQ(Pack("-o e.exe encrypted.zip").status, 0);
  EXPECT_EQ(Run("--test e.exe --password secret").status, 0);
  // 7-Zip's AES archive carries Unix attributes: rewritten, each entry's AES field with it.
  r = Pack("-o aes.exe aes.zip");
  EXPECT_NE(r.output.find("data copied without recompressing"), std::string::npos) << r.output;
  EXPECT_EQ(Run("--test aes.exe --password secret").status, 0);
  EXPECT_EQ(Run("--test aes.exe --password wrong").status, 2);
  // Copied with a password, files are encrypted on the way and folder entries stay as they are.
  ASSERT_EQ(Pack("--password pw -o folder.exe utf8.zip").status, 0);
  r = Run("--list folder.exe");
  EXPECT_NE(r.output.find(" 한글.txt  (AES-256 AE-1)\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" folder/\n"), std::string::npos) << r.output;

  // Refusals, each with its reason; the damaged archives are made by Python from real ones.
  const auto python = [&](const std::string& code) {
    ASSERT_EQ(Shell("python3 -c \"" + code + "\"").status, 0) << code;
  };
  python("import zipfile; zipfile.ZipFile('empty.zip', 'w').close()");
  EXPECT_EQ(Run("--list empty.zip").status, 0) << "no entries is no damage";
  const auto refused = [&](const std::string& zip, const std::string& reason) {
    const Result r = Pack("-o refused.exe " + zip);
    EXPECT_EQ(r.status, 2) << zip;
    EXPECT_NE(r.output.find(reason), std::string::npos) << r.output;
  };
  refused("bzip2.zip", "one.txt: compression method 12");
  // A Zip64 end record on a disk other than the first: the last part of a split archive.
  python(
      "d = bytearray(open('zip64.zip', 'rb').read()); d[d.rfind(b'PK\\x06\\x06') + 16] = 1; "
      "open('split.zip', 'wb').write(d)");
  refused("split.zip", "split over several disks");
  // The locator points anywhere: every entry reads, but --test finds the directory damaged.
  python(
      "d = bytearray(open('zip64.zip', 'rb').read()); l = d.rfind(b'PK\\x06\\x07'); "
      "d[l + 8:l + 16] = (12345).to_bytes(8, 'little'); open('locator.zip', 'wb').write(d)");
  r = Run("--test locator.zip");
  EXPECT_NE(r.output.find("locator.zip: 3 entries, 1 damaged"), std::string::npos) << r.output;
  // A central size of 0xFFFFFFFF with a Zip64 field of 4 bytes, too short to hold it: refused,
  // never read beyond the field.
  python(
      "import zipfile; z = zipfile.ZipFile('short.zip', 'w'); i = zipfile.ZipInfo('a.txt'); "
      "i.extra = b'BB\\x04\\x00abcd'; z.writestr(i, 'a'); z.close(); "
      "d = bytearray(open('short.zip', 'rb').read()); c = d.find(b'PK\\x01\\x02'); "
      "d[c + 24:c + 28] = b'\\xff' * 4; e = d.find(b'BB', c); d[e:e + 2] = b'\\x01\\x00'; "
      "open('short.zip', 'wb').write(d)");
  refused("short.zip", "a.txt: its Zip64 field is missing");

  // The second entry's local sizes are 0xFFFFFFFF, and its Zip64 field is gone (its id
  // changed): --list and --test call the archive damaged, though its central directory reads.
  python(
      "import zipfile; z = zipfile.ZipFile('z64.zip', 'w'); z.writestr('first.txt', 'f'); "
      "f = z.open('a.txt', 'w', force_zip64=True); f.write(b'a'); f.close(); z.close(); "
      "d = bytearray(open('z64.zip', 'rb').read()); d[d.find(b'\\x01\\x00\\x10\\x00')] = 0x99; "
      "open('lost.zip', 'wb').write(d)");
  r = Run("--list lost.zip");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.output.find("damaged: a Zip64 record"), std::string::npos) << r.output;
  EXPECT_EQ(Run("--test lost.zip").status, 2);
}

// A name that code page 949 holds is written in it; any other, whatever its script, as UTF-8
// with general-purpose bit 11. Python's zipfile reads names and flags from the central
// directory, and --list and --test (which read the local headers' flags) show every name as it
// is.
TEST_F(Mksfx, NamesOfEveryScript) {
  const struct {
    std::string name;
    bool utf8;
  } cases[] = {
      {.name = "한글 문서.txt", .utf8 = false},
      {.name = "똠방각하.txt", .utf8 = false},  // Hangul beyond KS X 1001, in 949's extension
      {.name = "αβγ.txt", .utf8 = false},       // Greek without accents is in KS X 1001
      {.name = "Ελληνικά.txt", .utf8 = true},   // ά is not
      {.name = "smile😀.txt", .utf8 = true},
      {.name = "e\u0301.txt", .utf8 = true},  // e and a combining acute accent
      {.name = "简体字.txt", .utf8 = true},   // simplified Chinese
      {.name = "𠀀/문서.txt", .utf8 = true},  // one component outside 949 decides for the path
      {.name = "😀 empty/", .utf8 = true},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    if (c.name.back() == '/')
      fs::create_directories(dir_ / "in" / c.name);
    else
      WriteText(dir_ / "in" / c.name, c.name);
    expected.push_back((c.utf8 ? "utf-8 " : "949 ") + c.name);
  }
  ASSERT_EQ(Pack("-o names.exe in").status, 0);

  Result r = Shell(
      "python3 -c \"import sys, zipfile\nfor i in zipfile.ZipFile('names.exe').infolist():\n"
      "  u = i.flag_bits & 0x800\n"
      "  print('utf-8' if u else '949', i.filename if u else "
      "i.filename.encode('cp437').decode('cp949'))\"");
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = r.output.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(r.output.substr(at, end - at));
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected) << r.output;

  const Result listed = Run("--list names.exe"), tested = Run("--test names.exe");
  EXPECT_NE(tested.output.find("9 entries, 0 damaged"), std::string::npos) << tested.output;
  for (const auto& c : cases) {
    EXPECT_NE(listed.output.find(" " + c.name + "\n"), std::string::npos) << c.name;
    EXPECT_NE(tested.output.find(" " + c.name + "\n"), std::string::npos) << c.name;
  }
}

// From 65,535 entries on, the count does not fit the end record (0xFFFF there means "see the
// Zip64 end record"), and from 65,536 on not its 16 bits: the Zip64 end record and its locator
// carry it, the end record holds 0xFFFF and its directory offset, which fits. Python's zipfile
// finds every entry and checks every CRC-32.
TEST_F(Mksfx, MoreThan65534Entries) {
  int made = 0;
  for (const int files : {65535, 65536}) {
    SCOPED_TRACE(files);
    for (; made < files; ++made) {
      char folder[16];
      std::snprintf(folder, sizeof folder, "%03d", made >> 8);
      if ((made & 255) == 0) fs::create_directories(dir_ / "many" / folder);
      std::ofstream(dir_ / "many" / folder / (std::to_string(made & 255) + ".txt")) << made;
    }
    Result r = Pack("-o many.exe many");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string count = std::to_string(files);
    EXPECT_EQ(Shell("python3 " + kScripts + "/zip64_records.py many.exe data").output,
              "zip64 end: " + count + " entries, directory low, locator off by 0\n" +
                  "end: 0xffff entries, directory at its offset\n" + count +
                  " entries, all intact\n");
  }
}

// A file of 5 GiB (sparse, so it takes no disk space) and a small one behind it, through the
// writer itself, as only there can the file grow while it is read (it reaches 5 GiB once its
// first piece is read).
// The archive is unlinked as soon as it is open, so not even a crash leaves its gigabytes
// behind; 7-Zip tests it and Python shows its records (zip64_records.py), both through /proc. Two
// tests, not a table, so that each stays well within CTest's time limit.
class Zip64ForAFileOf5GiB : public Mksfx {
 protected:
  std::string Records(int level, uint64_t sizeAtStart) {
    const fs::path big = dir_ / "big.bin", small = dir_ / "small.txt";
    std::ofstream(big).close();
    fs::resize_file(big, sizeAtStart);
    WriteText(small, "small\n");
    const std::string path = (dir_ / "big.zip").string();
    std::FILE* zip = std::fopen(path.c_str(), "w+b");
    if (!zip) return "cannot open " + path;
    fs::remove(path);
    const std::string proc =
        "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fileno(zip));
    std::string error;
    mksfx::ZipWriter writer(zip, "big.zip", level, "");
    const auto grow = [&](uint64_t) {
      if (fs::file_size(big) < k5GiB) fs::resize_file(big, k5GiB);
    };
    const bool written = writer.AddFile({.name = "big.bin"}, big.string(), grow, &error) &&
                         writer.AddFile({.name = "small.txt"}, small.string(), grow, &error) &&
                         writer.Finish(&error) && std::fflush(zip) == 0;
    fs::remove(big);
    std::string records = error;
    if (written && Shell("7z t " + proc).output.find("Everything is Ok") == std::string::npos)
      records = "7-Zip finds errors";
    else if (written)
      records = Shell("python3 " + kScripts + "/zip64_records.py " + proc + " entries").output;
    std::fclose(zip);
    return records;
  }

  static constexpr uint64_t k5GiB = 5ull << 30;
  // Both sizes in the local 0x0001 field, its 32-bit fields 0xFFFFFFFF; both sizes (16 bytes) in
  // the central one; version needed 4.5.
  const std::string bigEntry_ = "big.bin 5368709120 low 45 16 | 45 0xffffffff 0xffffffff both\n";
};

// Stored, 5 GiB from the start: the local header gets its 0x0001 field at once. The small file's
// local header lies beyond 4 GiB (its offset in the central 0x0001 field), and so does the
// directory (the Zip64 end record, and 0xFFFFFFFF in the end record).
TEST_F(Zip64ForAFileOf5GiB, StoredFromTheStart) {
  EXPECT_EQ(Records(0, k5GiB), bigEntry_ + "small.txt 6 4GiB+ 45 8 | 45 0x6 0x6 None\n" +
                                   "zip64 end: 2 entries, directory 4GiB+, locator off by 0\n" +
                                   "end: 0x2 entries, directory at 0xffffffff\n2 entries\n");
}

// Deflated, 2 MiB at the start: the entry outgrows its local header and is written again with
// the field. Everything else stays below 4 GiB, so no Zip64 end record.
TEST_F(Zip64ForAFileOf5GiB, DeflatedWhileItGrows) {
  EXPECT_EQ(Records(1, 2 << 20), bigEntry_ + "small.txt 6 low 20 0 | 20 0x6 0x6 None\n" +
                                     "end: 0x2 entries, directory at its offset\n2 entries\n");
}

// mksfx's own check decodes the 5 GiB entry with the stub's walk and decoder, and --list shows
// its size.
TEST_F(Mksfx, FileOf5GiBPassesItsOwnCheck) {
  fs::create_directories(dir_ / "big");
  std::ofstream(dir_ / "big" / "big.bin").close();
  fs::resize_file(dir_ / "big" / "big.bin", 5ull << 30);
  const Result r = Pack("--level 1 -o big.exe big");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(Run("--list big.exe").output.find(" 5368709120 "), std::string::npos);
}

}  // namespace
