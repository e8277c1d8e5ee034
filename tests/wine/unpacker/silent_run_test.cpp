// Unattended runs of real self-extracting programs under Wine: each row packs a folder with
// mksfx.exe, starts the program with switches and reads its exit code, the files it left and
// the starts of the program it runs. A silent row fails as soon as any window of the process
// shows, so a message box or dialog on some path cannot hide behind a passing exit code.
//
// Environment, set by CTest: MKSFX_EXE, RECORD_RUN_EXE, TOOL_ARCHIVES (Unix paths; the last a
// folder of archives made by 7-Zip and others).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"
#include "tests/wine/unpacker/packed_program.h"

using namespace window_driver;

namespace {

std::wstring Replaced(std::wstring text, const std::wstring& mark, const std::wstring& by) {
  for (size_t at; (at = text.find(mark)) != std::wstring::npos;) text.replace(at, mark.size(), by);
  return text;
}

// CutShort: the archive ends inside an entry; AuthenticationCode: a byte of an AES entry's code
// changes, the data itself stays intact.
enum class Damage { None, CrcField, CutShort, AuthenticationCode };

struct Row {
  const char* name;
  std::vector<std::wstring> pack = {};  // mksfx options; <dest> is the destination
  std::wstring args = L"/S";            // the command line after the program; <dest> too
  DWORD code = 0;                       // the exit code
  const char* readme = "new";  // dest\readme.txt afterwards: "new", "old" or absent (nullptr)
  int runs = 0;                // starts of record_run.exe
  bool destExists = false;     // dest\ is there before the run
  bool oldReadme = false;      // dest\readme.txt is "old" before the run
  Damage damage = Damage::None;
  const wchar_t* programExit = nullptr;  // record_run.exe's exit code
  bool foldersGone = false;              // the delete pass took away the folders it made
  std::wstring message = L"";            // not silent: a message box that begins so
  const wchar_t* dest = L"dest";         // below the row's folder
  const wchar_t* zip = nullptr;          // packed instead of the folder: one of TOOL_ARCHIVES
  std::vector<std::wstring> files = {};  // below dest, there afterwards
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

const std::wstring kWork = [] {
  wchar_t folder[MAX_PATH];
  return std::wstring(folder, GetTempPathW(MAX_PATH, folder)) + L"silent_run";
}();

class SilentRun : public ::testing::TestWithParam<Row> {
 protected:
  std::wstring Case(const std::wstring& name) const { return folder_ + L"\\" + name; }

  void SetUp() override {
    folder_ = kWork + L"\\" + AnsiToWide(GetParam().name);
    RemoveTree(folder_);
    SHCreateDirectoryExW(nullptr, Case(L"src\\sub").c_str(), nullptr);
  }
  void TearDown() override {
    if (!HasFailure()) RemoveTree(folder_);
  }

  std::wstring folder_;
};

TEST_P(SilentRun, ExitCodeFilesAndNoWindow) {
  const Row& row = GetParam();
  const std::wstring dest = Case(row.dest);
  const auto expand = [&](const std::wstring& text) { return Replaced(text, L"<dest>", dest); };
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\readme.txt"), "new"));
  std::string noise(300000, '\0');
  for (size_t i = 0, x = 1; i < noise.size(); ++i) noise[i] = char((x = x * 69069 + 1) >> 27);
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\sub\\data.bin"), noise));
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\record_run.exe"), ReadFileBytes(Tool("RECORD_RUN_EXE"))));

  std::vector<std::wstring> options;
  for (const std::wstring& option : row.pack) options.push_back(expand(option));
  const std::wstring source = row.zip ? Tool("TOOL_ARCHIVES") + L"\\" + row.zip : Case(L"src");
  ASSERT_NO_FATAL_FAILURE(PackFolder(options, source, Case(L"setup.exe")));

  if (row.damage != Damage::None) {
    std::string program = ReadFileBytes(Case(L"setup.exe"));
    const size_t data = program.find(std::string("sub/data.bin") + "\0", 0);
    const size_t header = program.rfind("PK\3\4", data);
    ASSERT_NE(header, std::string::npos);
    if (row.damage == Damage::CrcField) program[header + 14] ^= 0x55;
    if (row.damage == Damage::CutShort) program.resize(data + 20000);
    if (row.damage == Damage::AuthenticationCode) {
      uint32_t stored;
      std::memcpy(&stored, &program[header + 18], sizeof stored);
      program[data + 12 + 11 + stored - 5] ^= 0x01;
    }
    ASSERT_TRUE(WriteFileBytes(Case(L"setup.exe"), program));
  }

  if (row.destExists) SHCreateDirectoryExW(nullptr, dest.c_str(), nullptr);
  if (row.oldReadme) {
    SHCreateDirectoryExW(nullptr, dest.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(dest + L"\\readme.txt", "old"));
  }
  SetEnvironmentVariableW(L"RECORD_RUN_LOG", Case(L"run.log").c_str());
  SetEnvironmentVariableW(L"RECORD_RUN_EXIT", row.programExit);

  // Under Wine a program file written a moment ago is at times refused once; a second try
  // starts it.
  Program stub;
  const std::wstring command = L"\"" + Case(L"setup.exe") + L"\" " + expand(row.args);
  ASSERT_TRUE(stub.Start(command, folder_) || (Sleep(500), stub.Start(command, folder_)))
      << "CreateProcess error " << GetLastError();
  if (!row.message.empty()) {
    EXPECT_TRUE(stub.AnswerMessageBox().starts_with(row.message));
  }
  // Until the program ends, no window of it may show.
  for (int waited = 0; !stub.WaitForExit(20); waited += 20) {
    ASSERT_LT(waited, 30000) << "still running";
    if (row.message.empty()) {
      ASSERT_EQ(stub.WaitForWindow([](HWND) { return true; }, 0), nullptr) << "a window showed";
    }
  }
  EXPECT_EQ(stub.ExitCode(), row.code);

  for (const std::wstring& file : row.files) EXPECT_TRUE(FileExists(dest + L"\\" + file));
  const std::wstring readme = dest + L"\\readme.txt";
  EXPECT_EQ(FileExists(readme) ? ReadFileBytes(readme) : "(absent)",
            row.readme ? row.readme : "(absent)");
  if (row.foldersGone) {
    EXPECT_FALSE(FileExists(dest + L"\\sub"));
    const std::wstring top(row.dest, std::wcscspn(row.dest, L"\\"));
    EXPECT_EQ(FileExists(Case(top)), row.destExists) << "the top folder the run made";
  }
  // record_run.exe writes one record per start; one that was not waited for may still run.
  const auto starts = [&] {
    const std::string log = ReadFileBytes(Case(L"run.log"));
    return int(std::count(log.begin(), log.end(), '\n'));
  };
  WaitFor([&] { return starts() >= row.runs; }, 5000);
  EXPECT_EQ(starts(), row.runs);
}

const std::vector<std::wstring> kFolder{L"--folder", L"<dest>"};
const std::vector<std::wstring> kFolderOverwrite{L"--folder", L"<dest>", L"--overwrite"};
const std::vector<std::wstring> kEncrypted{L"--folder", L"<dest>", L"--password", L"secret"};
const std::vector<std::wstring> kZipCrypto{L"--folder", L"<dest>",       L"--password",
                                           L"secret",   L"--encryption", L"zipcrypto"};
constexpr char kToolReadme[] = "hello from the tree\r\n";  // readme.txt of TOOL_ARCHIVES
const std::vector<std::wstring> kRun{L"--folder", L"<dest>", L"--run", L"record_run.exe"};
const std::vector<std::wstring> kRunWaitDelete{L"--folder", L"<dest>", L"--run", L"record_run.exe",
                                               L"--wait-delete"};

// One row a line, as a table reads.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, SilentRun, ::testing::Values(
    Row{.name = "DefaultFolder", .pack = kFolder},
    Row{.name = "DestinationWithBlanksAndKorean", .args = L"/s /D=<dest>", .dest = L"가 나\\다"},
    Row{.name = "QuotedDestinationFirst", .args = L"\"/D=<dest>\" -S", .dest = L"a b"},
    Row{.name = "NoDestination", .code = 7, .readme = nullptr},
    Row{.name = "UnknownSwitch", .pack = kFolder, .args = L"/S /X", .code = 7, .readme = nullptr},
    Row{.name = "ExistingFileKept", .pack = kFolder, .readme = "old", .oldReadme = true},
    Row{.name = "ReplacedByTheOption", .pack = kFolderOverwrite, .oldReadme = true},
    Row{.name = "ReplaceSwitch", .pack = kFolder, .args = L"/S /Y", .oldReadme = true},
    Row{.name = "KeepSwitch", .pack = kFolderOverwrite, .args = L"/S /N", .readme = "old",
        .oldReadme = true},
    Row{.name = "DamagedEntry", .pack = kFolder, .code = 2, .damage = Damage::CrcField},
    Row{.name = "EndsInsideAnEntry", .pack = kFolder, .code = 2, .damage = Damage::CutShort},
    Row{.name = "Password", .pack = kEncrypted, .args = L"/S /P=secret"},
    Row{.name = "WrongPassword", .pack = kEncrypted, .args = L"/S /P=x", .code = 2,
        .readme = nullptr},
    Row{.name = "NoPassword", .pack = kEncrypted, .code = 2, .readme = nullptr},
    Row{.name = "ZipCryptoPassword", .pack = kZipCrypto, .args = L"/S /P=secret"},
    // The box and the command line give the ANSI code page (949); AES takes UTF-8.
    Row{.name = "KoreanPassword", .pack = {L"--folder", L"<dest>", L"--password", L"비밀 번호"},
        .args = L"/S \"/P=비밀 번호\""},
    Row{.name = "AuthenticationCodeChanged", .pack = kEncrypted, .args = L"/S /P=secret",
        .code = 2, .damage = Damage::AuthenticationCode},
    Row{.name = "SevenZipAes128", .pack = kFolder, .args = L"/S /P=secret", .readme = kToolReadme,
        .zip = L"7zip_aes128.zip"},
    // Names in scripts that the ANSI code page (949) cannot hold, made with the wide calls.
    Row{.name = "UnicodeNames", .pack = kFolder, .readme = nullptr, .zip = L"7zip_unicode.zip",
        .files = {L"αβγ\\λόγος.txt", L"😀.txt", L"e\u0301.txt", L"𠮷.txt", L"한글.txt"}},
    Row{.name = "SevenZipMixed", .pack = kFolder, .args = L"/S /P=secret", .readme = kToolReadme,
        .zip = L"7zip_mixed.zip"},
    Row{.name = "NoRun", .pack = kRun, .args = L"/S /NORUN"},
    Row{.name = "RunStarted", .pack = kRun, .runs = 1},
    Row{.name = "RunCannotStart", .pack = {L"--folder", L"<dest>", L"--run", L"no.exe"}, .code = 1},
    Row{.name = "WaitGivesItsCode", .pack = kRun, .args = L"/S /WAIT", .code = 3010, .runs = 1,
        .programExit = L"3010"},
    Row{.name = "DeleteRemovesFoldersMade", .pack = kRunWaitDelete, .code = 1602, .readme = nullptr,
        .runs = 1, .programExit = L"1602", .foldersGone = true, .dest = L"made\\dest"},
    Row{.name = "DeleteKeepsAFolderThatWasThere", .pack = kRunWaitDelete, .readme = nullptr,
        .runs = 1, .destExists = true, .foldersGone = true},
    Row{.name = "UnknownSwitchNamed", .pack = kFolder, .args = L"/X", .code = 7, .readme = nullptr,
        .message = L"Pakko EXE: /X : 알 수 없는 스위치입니다."},
    Row{.name = "Usage", .args = L"/?", .readme = nullptr, .message = L"Pakko EXE: 사용법: [/S]"}),
    [](const auto& row) { return std::string(row.param.name); });
// clang-format on

}  // namespace
