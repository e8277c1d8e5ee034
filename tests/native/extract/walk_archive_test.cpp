// The extraction loop's passes over real files: a self-extracting file written to a temporary
// folder (PE headers, option block, ZIP data), walked by WalkArchive with scripted answers in
// place of the dialogs, extracted into a real folder. Names are in code page 949 as on the
// Korean systems the stub is made for.
#include "unpacker/extract/walk_archive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "tests/support/core_harness.h"
#include "tests/support/files.h"
#include "tests/support/pe_builder.h"
#include "tests/support/zip_builder.h"
#include "unpacker/container/archive_access.h"
#include "unpacker/container/option_block.h"
#include "unpacker/container/run_outcome.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/native/native_code_page.h"
#include "unpacker/inflate/crc32.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The overwrite questions asked (the existing file's size and the entry's), and the answer.
std::vector<std::pair<uint64_t, uint64_t>> questions;
bool replaceWhenAsked = false;

constexpr char kAllExtracted[] = "모든 파일의 압축을 풀었습니다.";
constexpr char kFailed[] = "파일의 압축을 풀 수 없습니다.";
const std::string kCannotOpen = "파일을 열 수 없습니다.";
constexpr char kUnknownMethod[] = "알수 없는 압축 형식입니다.";
constexpr char kDamaged[] = "압축 파일이 손상되었습니다.";  // told by both passes
const std::string kCancelled = "작업이 취소되었습니다.";
const std::string kHanGeul = "\xC7\xD1\xB1\xDB";  // 한글 (949)
using Texts = std::vector<std::string>;
using Files = std::vector<std::pair<std::string, std::string>>;  // name, contents

ArchiveEntry Entry(std::string name, std::string data, uint16_t method = 8) {
  return {.name = name, .data = {data.begin(), data.end()}, .method = method};
}
std::vector<uint8_t> Zip(const std::vector<ArchiveEntry>& entries) {
  return BuildZip(entries).bytes;
}

class Walk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() /
        ("walk_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    SetNativeSystemCodePage(949);
    BuildCrcTable();
  }
  void TearDown() override {
    ResetCoreState();
    fs::remove_all(root_);
  }

  // Writes setup.exe (PE headers, the option block, `zip`), opens it as the stub does at
  // start-up and runs the scan pass; then puts the `existing` files in the destination.
  void Start(const std::vector<uint8_t>& zip, uint8_t flags = 0, const Files& existing = {}) {
    std::vector<uint8_t> program = BuildPeImage({{0x400, 0x200}});
    Append(program, BuildOptionBlock(flags, {}, {}, {}));
    Append(program, zip);
    StartProgram(std::string(program.begin(), program.end()), existing);
  }
  // The same with a whole program file.
  void StartProgram(const std::string& program, const Files& existing = {}) {
    ResetCoreState();
    questions.clear();
    replaceWhenAsked = false;
    fs::remove_all(Out(""));
    WriteText(root_ / "setup.exe", program);
    std::strcpy(ProgramPath, (root_ / "setup.exe").c_str());
    ArchiveHandle = OpenArchiveFile(ProgramPath);
    ReadOptionBlock();
    std::strcpy(ExtractorOptions.StartDirectory, root_.c_str());
    OverwriteMode = OverwriteChoice::AskEachFile;
    Run(Pass::Scan);
    fs::create_directories(Out(""));
    for (const auto& [name, text] : existing) WriteText(Out(name), text);
  }
  // Each pass starts from the folder as typed (the dialog's box), "out" below the start folder.
  void Run(Pass pass) {
    std::strcpy(DestFolder, "out");
    WalkArchive(pass);
  }
  void Extract() { Run(Pass::Extract); }

  // The messages since Start; a path is given from the destination on.
  Texts Messages() const {
    const std::string dest = root_.string() + "\\out\\";
    Texts texts;
    for (const ShownMessage& m : shownMessages)
      texts.push_back((m.path.empty() ? "" : m.path.substr(dest.size()) + ": ") + m.text);
    return texts;
  }
  fs::path Out(const std::string& name) const {
    std::string native = name;
    for (char& c : native)
      if (c == '\\') c = '/';
    return root_ / "out" / native;
  }
  void ExpectFiles(const Files& files) const {
    for (const auto& [name, text] : files) EXPECT_TRUE(ReadText(Out(name)) == text) << name;
  }

  fs::path root_;
};

// Each failure is told where it is found, in the scan pass or the extraction; the loop goes on
// where it can. A folder "t" is in the way of a file of that name; a destination that does not
// fit is refused. Entry names that would write outside the destination are never created;
// names of any length are read in full, and one too long for the file system is a file that
// cannot be created. A streamed entry's data cannot be found where the central directory
// cannot be either. A folder that cannot be made ends the pass. An archive that ends inside an
// entry's data stops the pass as Close does, but it is a failure, not a stop; one that ends
// inside an encryption header is damaged. The exit code
// follows: 0 after success, else 2.
TEST_F(Walk, FailuresAndTheirMessages) {
  ArchiveEntry bad = Entry("bad", "original");
  const std::vector<uint8_t> tampered = RawDeflate(Bytes("tampered"));
  bad.rawData = &tampered;  // its CRC-32 does not match
  BuiltZip unreached = BuildZip({Entry("a", "a"), Entry("b", "b")});
  PutU32(unreached.bytes, unreached.localHeaderOffsets[1], 0x12345678);  // listed, never found
  const std::string fits = std::string(80, 'a') + "\\" + std::string(80, 'b');
  const std::string tooLong = std::string(150, 'c') + "/" + std::string(300, 'd');
  std::string noise;
  for (uint32_t x = 1; noise.size() < 20000;) noise += char((x = x * 69069 + 1) >> 24);
  std::vector<uint8_t> cut = Zip({Entry("a", "a"), Entry("noise", noise)});
  cut.resize(cut.size() - 8000);
  ArchiveEntry locked = Entry("locked", "secret");
  locked.password = "pw";
  const BuiltZip withLocked = BuildZip({Entry("a", "a"), locked});
  const std::vector<uint8_t> cutInHeader(
      withLocked.bytes.begin(), withLocked.bytes.begin() + withLocked.localHeaderOffsets[1] + 42);
  ArchiveEntry streamed = Entry("streamed", "s");
  streamed.dataDescriptor = streamed.zeroSizesInLocalHeader = true;
  // Zip64: a local field that is not there (its id changed), and Zip64 end records whose
  // locator points anywhere.
  ArchiveEntry zip64 = Entry("z", "z");
  zip64.zip64 = true;
  BuiltZip noZip64Field = BuildZip({Entry("a", "a"), zip64});
  PutU16(noZip64Field.bytes, noZip64Field.localHeaderOffsets[1] + 30 + 1, 0x0099);
  BuiltZip lostLocator = BuildZip({Entry("a", "a")}, {.zip64EndRecords = true});
  PutU32(lostLocator.bytes, lostLocator.zip64EndRecordOffset + 56 + 8, 3);
  const struct {
    std::vector<uint8_t> zip;
    Texts messages;
    Files files = {};
    uint8_t flags = 0;
    size_t startLength = 0;  // a start folder of that many characters in place of the real one
  } cases[] = {
      {.zip = Zip({Entry("a", "alpha")}), .files = {{"a", "alpha"}}, .flags = kFlagAutoExtract},
      {.zip = Zip({Entry("a", "alpha")}), .messages = {kAllExtracted}, .files = {{"a", "alpha"}}},
      {.zip = {}, .messages = {"압축 파일을 읽을 수 없습니다."}},
      {.zip = Zip({bad, Entry("good", "good")}),
       .messages = {kFailed},
       .files = {{"bad", "tampered"}, {"good", "good"}}},
      {.zip = Zip({Entry("t", "x"), Entry("n", "n")}),
       .messages = {"t: " + kCannotOpen, kFailed},
       .files = {{"n", "n"}}},
      {.zip = Zip({Entry("l", "l", 14), Entry("c", "c", 0)}),
       .messages = {kUnknownMethod},
       .files = {{"l", ""}, {"c", kMissing}}},
      // An AES entry without its extra field cannot be decrypted: no password is asked.
      {.zip = Zip({Entry("x", "x", 99), Entry("c", "c", 0)}),
       .messages = {kUnknownMethod},
       .files = {{"x", kMissing}, {"c", kMissing}}},
      {.zip = noZip64Field.bytes,
       .messages = {kDamaged, kDamaged},
       .files = {{"a", "a"}, {"z", kMissing}}},
      {.zip = lostLocator.bytes, .messages = {kDamaged, kDamaged}, .files = {{"a", kMissing}}},
      {.zip = Zip({Entry("a", "a"), Entry(std::string("\0\0", 2), "x")}),
       .messages = {kDamaged, kDamaged},
       .files = {{"a", "a"}}},
      {.zip = unreached.bytes, .messages = {kFailed}},
      {.zip = Zip({Entry("a", "a")}),
       .messages = {"폴더이름이 잘못되었습니다."},
       .startLength = kDestFolderSize - 3},
      // The destination fits, but not with the backslash every target path needs: told once.
      {.zip = Zip({Entry("a", "a"), Entry("b", "b")}),
       .messages = {"폴더이름이 잘못되었습니다."},
       .startLength = kDestFolderSize - 5},
      {.zip = Zip({Entry("..\\x", "evil"), Entry("a/../../x", "evil"), Entry("sub\\nul.x", "evil"),
                   Entry(fits, "fits"), Entry(tooLong, "no"), Entry("fine", "fine")}),
       .messages = {"..\\x: " + kCannotOpen, "a/../../x: " + kCannotOpen,
                    "sub\\nul.x: " + kCannotOpen, tooLong + ": " + kCannotOpen, kFailed},
       .files = {{"..\\x", kMissing}, {"x", kMissing}, {fits, "fits"}, {"fine", "fine"}}},
      {.zip = BuildZip({streamed, Entry("last", "last")}, {.comment = "c"}).bytes,
       .messages = {kFailed}},
      // A folder that cannot be made (its name is too long for the file system) ends the pass.
      {.zip = Zip({Entry(std::string(300, 'e') + "/f", "f"), Entry("after", "after")}),
       .messages = {std::string(300, 'e') + ": 디렉토리 오류"},
       .files = {{"after", kMissing}}},
      {.zip = cut, .messages = {kCancelled}, .files = {{"a", "a"}}},
      // The archive ends inside an encryption header: no password is asked.
      {.zip = cutInHeader, .messages = {kDamaged}, .files = {{"a", "a"}, {"locked", kMissing}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Start(c.zip, c.flags);
    // Closed now, the dialog ends a failed run if the scan told of one, else a stopped one.
    EXPECT_EQ(ExitCode(Outcome), shownMessages.empty() ? 255 : 2);
    fs::create_directory(Out("t"));
    if (c.startLength)
      std::strcpy(ExtractorOptions.StartDirectory, std::string(c.startLength, 's').c_str());
    OverwriteMode = OverwriteChoice::ReplaceWithoutAsking;
    Extract();
    EXPECT_EQ(Messages(), c.messages);
    EXPECT_EQ(ExitCode(Outcome), c.messages.empty() || c.messages[0] == kAllExtracted ? 0 : 2);
    ExpectFiles(c.files);
  }
}

// The overwrite rule: asked for each file (here "no", then "yes"), or replacing (also a
// read-only file) or keeping without asking. Kept files are no failure.
TEST_F(Walk, OverwriteRule) {
  const struct {
    OverwriteChoice mode;
    bool answer;
    std::string expected;
    size_t questions;
  } cases[] = {
      {.mode = OverwriteChoice::AskEachFile, .answer = false, .expected = "old", .questions = 1},
      {.mode = OverwriteChoice::AskEachFile, .answer = true, .expected = "new!", .questions = 1},
      {.mode = OverwriteChoice::ReplaceWithoutAsking, .expected = "new!"},
      {.mode = OverwriteChoice::SkipWithoutAsking, .expected = "old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Start(Zip({Entry("f", "new!"), Entry("g", "g")}), 0, {{"f", "old"}});
    fs::permissions(Out("f"), fs::perms::owner_read);
    OverwriteMode = c.mode;
    replaceWhenAsked = c.answer;
    Extract();
    EXPECT_EQ(Messages(), Texts{kAllExtracted});
    ExpectFiles({{"f", c.expected}, {"g", "g"}});
    ASSERT_EQ(questions.size(), c.questions);
    if (c.questions) EXPECT_EQ(questions[0], (std::pair<uint64_t, uint64_t>{3, 4}));
  }
}

// Close pressed between entries: the empty file just made goes, nothing more is written, the
// cancel is told and the dialog is closed.
TEST_F(Walk, CancelBetweenEntries) {
  Start(Zip({Entry("1", "one", 0), Entry("2", "two", 0), Entry("3", "three", 0)}));
  int steps = 0;
  // One step as the pass starts, then two per entry: before the entry and before its data.
  // Close comes while the second entry's file has just been made.
  script.onStep = [&] { CancelRequested |= ++steps == 5; };
  Extract();
  ExpectFiles({{"1", "one"}, {"2", kMissing}, {"3", kMissing}});
  ASSERT_EQ(Messages(), Texts{kCancelled});
  EXPECT_EQ(shownMessages[0].icon, MessageIcon::Information);
  EXPECT_EQ(ExitCode(Outcome), 255);
  EXPECT_FALSE(CancelRequested);
  EXPECT_EQ(script.closes, 1);
  EXPECT_EQ(steps, 5) << "the walk stops at once";
  EXPECT_EQ(script.enabled, (std::vector<bool>{false, true, false, true})) << "off for each pass";
}

// The password is asked once and serves later entries and later passes; it is asked before the
// overwrite rule is applied, so also for a file that is then kept. Three wrong ones end the
// pass without a file.
TEST_F(Walk, Passwords) {
  ArchiveEntry a = Entry("a.txt", "A"), b = Entry("b.txt", "B");
  a.password = b.password = "pw";
  Start(Zip({a, Entry("plain.txt", "P"), b}));
  script.password = "pw";
  Extract();
  Extract();
  EXPECT_EQ(script.passwordQuestions, 1);
  EXPECT_EQ(ExitCode(Outcome), 0);
  ExpectFiles({{"a.txt", "A"}, {"b.txt", "B"}});

  Start(Zip({a}), 0, {{"a.txt", "old"}});
  OverwriteMode = OverwriteChoice::SkipWithoutAsking;
  Extract();  // the close box: the pass ends
  EXPECT_EQ(script.passwordQuestions, 1);
  EXPECT_EQ(ExitCode(Outcome), 2) << "a refused password is a failure";
  ExpectFiles({{"a.txt", "old"}});

  Start(Zip({a, Entry("after", "after")}));
  script.password = "wrong";
  Extract();
  EXPECT_EQ(script.passwordQuestions, 3);
  EXPECT_EQ(Messages(), Texts{});
  ExpectFiles({{"a.txt", kMissing}, {"after", kMissing}});

  // A password that is not ASCII is typed in the ANSI code page; producers encrypt with those
  // bytes or with its UTF-8, and the one typed password opens both.
  ArchiveEntry utf8 = Entry("u.txt", "U"), ansi = Entry("c.txt", "C");
  utf8.password = "비밀";
  ansi.password = "\xBA\xF1\xB9\xD0";  // 비밀 in 949
  Start(Zip({utf8, ansi}));
  script.password = ansi.password.c_str();
  Extract();
  EXPECT_EQ(script.passwordQuestions, 1);
  ExpectFiles({{"u.txt", "U"}, {"c.txt", "C"}});
}

// 7-Zip's AES entries are AE-2: their CRC-32 field is 0, and the authentication code is the
// only check. A changed byte of the encrypted data or of the code fails the file as a CRC-32
// error does; a wrong password is asked three times and writes nothing.
TEST_F(Walk, AesEntriesAreAuthenticated) {
  const std::string zip = ReadText(fs::path(TOOL_ARCHIVES) / "7zip_aes256.zip");
  // readme.txt (21 bytes, stored): behind its name and the 11-byte AES extra field come the
  // 16-byte salt, the 2-byte verifier, the data and the 10-byte code.
  const size_t salt = zip.find("readme.txt") + 10 + 11;
  for (const size_t changed : {salt + 18 + 4, salt + 18 + 21 + 9}) {
    std::string damaged = zip;
    damaged[changed] ^= 0x01;
    Start({damaged.begin(), damaged.end()});
    script.password = "secret";
    Extract();
    EXPECT_EQ(Messages(), Texts{kFailed}) << changed - salt;
    EXPECT_EQ(ExitCode(Outcome), 2);
    ExpectFiles(
        {{"docs/numbers.txt", ReadText(fs::path(TOOL_ARCHIVES) / "tree/docs/numbers.txt")}});
  }
  Start({zip.begin(), zip.end()});
  script.password = "wrong";
  Extract();
  EXPECT_EQ(script.passwordQuestions, 3);
  EXPECT_EQ(ExitCode(Outcome), 2);
  ExpectFiles({{"bin/random.bin", kMissing}, {"readme.txt", kMissing}});
}

// The delete pass removes only what this run wrote, and the folders it made once they are
// empty: files and folders that existed before and were kept stay. A file it cannot remove
// (a folder now in its place) is told by exit code 1.
TEST_F(Walk, DeletePassRemovesOnlyWhatWasWritten) {
  Start(Zip({Entry("new", "n"), Entry("kept", "archive's"), Entry(kHanGeul + "\\x\\y", "y"),
             Entry("made\\", "", 0), Entry("old\\z", "z")}),
        0, {{"kept", "the user's own"}});
  fs::create_directory(Out("old"));
  Extract();
  ASSERT_EQ(Outcome.Extraction, ExtractionOutcome::Succeeded);
  Run(Pass::Delete);
  ExpectFiles({{"new", kMissing}, {kHanGeul + "\\x\\y", kMissing}, {"kept", "the user's own"}});
  EXPECT_FALSE(fs::exists(Out(kHanGeul)) || fs::exists(Out("made")));
  EXPECT_TRUE(fs::is_directory(Out("old")) && fs::is_directory(Out("")));
  EXPECT_EQ(ExitCode(Outcome), 0);

  Extract();
  fs::remove(Out("new"));
  fs::create_directories(Out("new/in the way"));
  Run(Pass::Delete);
  EXPECT_EQ(ExitCode(Outcome), 1);
}

// Archives made by other tools, each unpacked and compared with the files they were made from:
// stored and deflated entries, encrypted ones (Info-ZIP's with data descriptors, whose check
// byte comes from the time; 7-Zip's AES with each key length; one archive that mixes plain,
// ZipCrypto and AES entries), two streamed through a pipe (sizes only behind the data, the
// second Info-ZIP's Zip64 entry for standard input), and Zip64 ones: Python's local fields,
// written to a file or streamed, and Info-ZIP's in every record, with the Zip64 end records.
// Names in any script: UTF-8 names (flag bit 11, from Python and 7-Zip; without it from
// Info-ZIP on Unix) are created as they are. Self-extractors of the tree made by mksfx: as made
// (offsets from the ZIP data), after `zip -A` (offsets from the file's start), and signed by
// osslsigncode (a certificate table behind the ZIP data, aligned to 8 bytes); the read-only
// attribute of their readme.txt, which only the central directory gives, arrives. Python's
// 65,537 streamed entries: the end record's count is saturated, and every entry's sizes are in
// the central directory, which only the Zip64 end records locate; all but the last have one
// name and are kept once written.
TEST_F(Walk, ArchivesMadeByOtherTools) {
  const fs::path tools = TOOL_ARCHIVES, made = SELF_EXTRACTORS;
  Files tree;
  for (const char* file : {"readme.txt", "docs/numbers.txt", "docs/zero.txt", "bin/random.bin"})
    tree.push_back({file, ReadText(tools / "tree" / file)});
  std::vector<std::pair<fs::path, Files>> cases;
  for (const fs::path name :
       {"infozip.zip", "infozip_encrypted.zip", "7zip.zip", "7zip_zipcrypto.zip", "7zip_aes128.zip",
        "7zip_aes192.zip", "7zip_aes256.zip", "7zip_mixed.zip", "python.zip", "python_zip64.zip",
        "python_zip64_streamed.zip", "infozip_zip64.zip"})
    cases.push_back({tools / name, tree});
  for (const char* name : {"sfx.exe", "sfx_file_offsets.exe", "sfx_signed.exe"})
    cases.push_back({made / name, tree});
  for (const char* name : {"infozip_stdin.zip", "infozip_stdin64.zip"})
    cases.push_back({tools / name, {{"-", "streamed through a pipe\n"}}});
  for (const char* name : {"python_unicode.zip", "7zip_unicode.zip", "infozip_unicode.zip"})
    cases.push_back({tools / name,
                     {{"αβγ/λόγος.txt", "greek\n"},
                      {"😀.txt", "emoji\n"},
                      {"e\xCC\x81.txt", "combining\n"},
                      {"𠮷.txt", "cjk\n"},
                      {"한글.txt", "korean\n"},
                      {"가나", "no ascii\n"}}});
  cases.push_back({tools / "python_65537.zip", {{"same.txt", "0\n"}, {"last.txt", "65536\n"}}});
  for (const auto& [program, files] : cases) {
    SCOPED_TRACE(program);
    const std::string bytes = ReadText(program);
    if (program.extension() == ".exe") StartProgram(bytes);
    if (program.extension() == ".zip") Start({bytes.begin(), bytes.end()});
    script.password = "secret";
    Extract();
    EXPECT_EQ(Messages(), Texts{kAllExtracted});
    ExpectFiles(files);
    if (files != tree) continue;
    EXPECT_EQ(ProgressPercent, 100) << "the scan pass's total is the extract pass's measure";
    EXPECT_TRUE(fs::is_directory(Out("docs/empty")));
    EXPECT_EQ(fs::status(Out("readme.txt")).permissions() & fs::perms::owner_write,
              program.extension() == ".exe" ? fs::perms::none : fs::perms::owner_write);
  }
}

// An Info-ZIP Unicode Path field counts while its CRC matches the stored name; 949 names are
// read beside UTF-8 ones, also from a Unix host, where only well-formed UTF-8 is taken as such;
// UTF-8 that is not well-formed is refused like an unsafe name.
TEST_F(Walk, UnicodeNames) {
  // The Unicode Path field: version 1, the CRC-32 of the stored name, the name in UTF-8.
  const auto unicodePath = [](const std::string& stored, const std::string& utf8) {
    const uint32_t crc = ZlibCrc32({stored.begin(), stored.end()});
    std::vector<uint8_t> extra = {0x75, 0x70, uint8_t(5 + utf8.size()), 0, 1};
    for (int i = 0; i < 4; ++i) extra.push_back(uint8_t(crc >> (8 * i)));
    extra.insert(extra.end(), utf8.begin(), utf8.end());
    return extra;
  };
  ArchiveEntry fresh = Entry("_.txt", "fresh"), stale = Entry("stale.txt", "stale"),
               utf8 = Entry("ü.txt", "flagged"), invalid = Entry("\xC0\xAF.txt", "overlong");
  fresh.extra = unicodePath("_.txt", "😀 fresh.txt");
  stale.extra = unicodePath("renamed.txt", "never.txt");
  utf8.flags = invalid.flags = 0x0800;
  BuiltZip zip = BuildZip({Entry(kHanGeul + ".txt", "949"), fresh, stale, utf8, invalid});
  zip.bytes[zip.centralDirectoryOffset + 5] = 3;  // the 949 name comes from a Unix host
  Start(zip.bytes);
  Extract();
  EXPECT_EQ(Messages(), (Texts{"?.txt: " + kCannotOpen, kFailed}));
  ExpectFiles({{"한글.txt", "949"},
               {"😀 fresh.txt", "fresh"},
               {"stale.txt", "stale"},
               {"never.txt", kMissing},
               {"ü.txt", "flagged"}});
  EXPECT_EQ(ExitCode(Outcome), 2);
}

}  // namespace

bool AskToReplace(const char*, const ExistingFile& existing, uint64_t newSize, uint32_t) {
  questions.push_back({existing.Size, newSize});
  return replaceWhenAsked;
}
