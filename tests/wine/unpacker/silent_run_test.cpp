// Unattended runs of real self-extracting programs under Wine: each row packs a folder with
// mksfx.exe, starts the program with switches and reads its exit code, the files it left and
// the starts of the program it runs. A silent row fails as soon as any window of the process
// shows, so a message box or dialog on some path cannot hide behind a passing exit code.
//
// Environment, set by CTest: MKSFX_EXE, RECORD_RUN_EXE (Unix paths).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

enum class Damage { None, CrcField, EndsInsideData };

struct Row {
  const char* name;
  std::vector<std::wstring> pack = {};  // mksfx options; <dest> is the destination
  std::wstring switches;                // the command line after the program; <dest> too
  DWORD exitCode;
  const char* readme = "new";  // dest\readme.txt afterwards: "new", "old" or absent (nullptr)
  int runs = 0;                // starts of record_run.exe
  bool destinationExists = false;
  bool existingReadme = false;  // dest\readme.txt is "old" before the run
  Damage damage = Damage::None;
  const wchar_t* programExit = nullptr;  // record_run.exe's exit code
  bool foldersMadeRemoved = false;       // the delete pass took away the folders it made
  bool window = false;                   // not silent: a message box is expected and answered
  std::wstring message = L"";            // its text begins so
  const wchar_t* destination = L"dest";  // below the row's folder
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
  const std::wstring dest = Case(row.destination);
  const auto expand = [&](const std::wstring& text) { return Replaced(text, L"<dest>", dest); };
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\readme.txt"), "new"));
  std::string noise(300000, '\0');
  for (size_t i = 0, x = 1; i < noise.size(); ++i) noise[i] = char((x = x * 69069 + 1) >> 27);
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\sub\\data.bin"), noise));
  ASSERT_TRUE(WriteFileBytes(Case(L"src\\record_run.exe"), ReadFileBytes(Tool("RECORD_RUN_EXE"))));

  std::vector<std::wstring> options;
  for (const std::wstring& option : row.pack) options.push_back(expand(option));
  ASSERT_NO_FATAL_FAILURE(PackFolder(options, Case(L"src"), Case(L"setup.exe")));

  std::string program = ReadFileBytes(Case(L"setup.exe"));
  const size_t data = program.find(std::string("sub/data.bin") + "\0", 0);
  const size_t header = program.rfind("PK\3\4", data);
  ASSERT_NE(header, std::string::npos);
  if (row.damage == Damage::CrcField) program[header + 14] ^= 0x55;
  if (row.damage == Damage::EndsInsideData) program.resize(data + 20000);
  ASSERT_TRUE(WriteFileBytes(Case(L"setup.exe"), program));

  if (row.destinationExists) SHCreateDirectoryExW(nullptr, dest.c_str(), nullptr);
  if (row.existingReadme) {
    SHCreateDirectoryExW(nullptr, dest.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(dest + L"\\readme.txt", "old"));
  }
  SetEnvironmentVariableW(L"RECORD_RUN_LOG", Case(L"run.log").c_str());
  SetEnvironmentVariableW(L"RECORD_RUN_EXIT", row.programExit);

  Program stub;
  ASSERT_TRUE(stub.Start(L"\"" + Case(L"setup.exe") + L"\" " + expand(row.switches), folder_));
  if (row.window) {
    EXPECT_TRUE(stub.AnswerMessageBox().starts_with(row.message));
  }
  // Until the program ends, no window of it may show.
  for (int waited = 0; !stub.WaitForExit(20); waited += 20) {
    ASSERT_LT(waited, 30000) << "still running";
    if (!row.window) {
      ASSERT_EQ(stub.WaitForWindow([](HWND) { return true; }, 0), nullptr) << "a window showed";
    }
  }
  EXPECT_EQ(stub.ExitCode(), row.exitCode);

  const std::wstring readme = dest + L"\\readme.txt";
  EXPECT_EQ(FileExists(readme) ? ReadFileBytes(readme) : "(absent)",
            row.readme ? row.readme : "(absent)");
  if (row.foldersMadeRemoved) {
    EXPECT_FALSE(FileExists(dest + L"\\sub"));
    const std::wstring top(row.destination, std::wcscspn(row.destination, L"\\"));
    EXPECT_EQ(FileExists(Case(top)), row.destinationExists) << "the top folder the run made";
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
const std::vector<std::wstring> kEncrypted{L"--folder", L"<dest>", L"--password", L"secret"};
const std::vector<std::wstring> kRun{L"--folder", L"<dest>", L"--run", L"record_run.exe"};
const std::vector<std::wstring> kRunWaitDelete{L"--folder", L"<dest>", L"--run", L"record_run.exe",
                                               L"--wait-delete"};

INSTANTIATE_TEST_SUITE_P(
    Rows, SilentRun,
    ::testing::Values(
        Row{.name = "DefaultFolder", .pack = kFolder, .switches = L"/S", .exitCode = 0},
        Row{.name = "DestinationWithBlanksAndKorean",
            .switches = L"/s /D=<dest>",
            .exitCode = 0,
            .destination = L"받을 곳\\한글 폴더"},
        Row{.name = "QuotedDestinationBeforeSilent",
            .switches = L"\"/D=<dest>\" -S",
            .exitCode = 0,
            .destination = L"a b"},
        Row{.name = "NoDestination", .switches = L"/S", .exitCode = 7, .readme = nullptr},
        Row{.name = "UnknownSwitch",
            .pack = kFolder,
            .switches = L"/S /X",
            .exitCode = 7,
            .readme = nullptr},
        Row{.name = "ExistingFileKept",
            .pack = kFolder,
            .switches = L"/S",
            .exitCode = 0,
            .readme = "old",
            .existingReadme = true},
        Row{.name = "ExistingFileReplacedByTheOption",
            .pack = {L"--folder", L"<dest>", L"--overwrite"},
            .switches = L"/S",
            .exitCode = 0,
            .existingReadme = true},
        Row{.name = "ReplaceSwitch",
            .pack = kFolder,
            .switches = L"/S /Y",
            .exitCode = 0,
            .existingReadme = true},
        Row{.name = "KeepSwitchOverTheOption",
            .pack = {L"--folder", L"<dest>", L"--overwrite"},
            .switches = L"/S /N",
            .exitCode = 0,
            .readme = "old",
            .existingReadme = true},
        Row{.name = "DamagedEntry",
            .pack = kFolder,
            .switches = L"/S",
            .exitCode = 2,
            .damage = Damage::CrcField},
        Row{.name = "ArchiveEndsInsideAnEntry",
            .pack = kFolder,
            .switches = L"/S",
            .exitCode = 2,
            .damage = Damage::EndsInsideData},
        Row{.name = "Password", .pack = kEncrypted, .switches = L"/S /P=secret", .exitCode = 0},
        Row{.name = "WrongPassword",
            .pack = kEncrypted,
            .switches = L"/S /P=wrong",
            .exitCode = 2,
            .readme = nullptr},
        Row{.name = "NoPassword",
            .pack = kEncrypted,
            .switches = L"/S",
            .exitCode = 2,
            .readme = nullptr},
        Row{.name = "NoRun", .pack = kRun, .switches = L"/S /NORUN", .exitCode = 0},
        Row{.name = "RunStarted", .pack = kRun, .switches = L"/S", .exitCode = 0, .runs = 1},
        Row{.name = "RunCannotStart",
            .pack = {L"--folder", L"<dest>", L"--run", L"missing.exe"},
            .switches = L"/S",
            .exitCode = 1},
        Row{.name = "WaitGivesTheProgramsCode",
            .pack = kRun,
            .switches = L"/S /WAIT",
            .exitCode = 3010,
            .runs = 1,
            .programExit = L"3010"},
        Row{.name = "WaitThenDeleteRemovesFilesAndFoldersMade",
            .pack = kRunWaitDelete,
            .switches = L"/S",
            .exitCode = 1602,
            .readme = nullptr,
            .runs = 1,
            .programExit = L"1602",
            .foldersMadeRemoved = true,
            .destination = L"made\\dest"},
        Row{.name = "WaitThenDeleteKeepsAFolderThatWasThere",
            .pack = kRunWaitDelete,
            .switches = L"/S",
            .exitCode = 0,
            .readme = nullptr,
            .runs = 1,
            .destinationExists = true,
            .foldersMadeRemoved = true},
        Row{.name = "UnknownSwitchNamedInAMessage",
            .pack = kFolder,
            .switches = L"/X",
            .exitCode = 7,
            .readme = nullptr,
            .window = true,
            .message = L"Pakko EXE: /X : 알 수 없는 스위치입니다."},
        Row{.name = "Usage",
            .switches = L"/?",
            .exitCode = 0,
            .readme = nullptr,
            .window = true,
            .message = L"Pakko EXE: 사용법: [/S]"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
