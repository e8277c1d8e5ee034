// Real self-extracting programs, built by mksfx.exe from folders the test makes, started and
// driven through their windows under Wine as a user would: one journey through each dialog.
// What the extraction loop does with each entry (overwrite rule, passwords, failures, cancel
// between entries, unsafe names) is tested natively (tests/native/extract).
//
// Environment, set by CTest (Unix paths): MKSFX_EXE, the builder; UNPACKER_EXE, the stub of
// this test's architecture, whose size tells where a built file's ZIP data begins. With
// --screenshots FOLDER the program instead saves pictures of the four dialogs as BMP files
// (take-screenshots).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/wine/support/window_driver.h"
#include "tests/wine/unpacker/packed_program.h"
#include "unpacker/resources/resource.h"

using namespace window_driver;

namespace {

// Message boxes as AnswerMessageBox reads them: "caption: text".
const std::wstring kAllExtracted = L"Pakko EXE: 모든 파일의 압축을 풀었습니다.";
std::wstring screenshots;  // the folder given with --screenshots
// The attributes an extracted file is given, of those Wine keeps (not the archive bit).
constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// Bytes that deflate can shrink only by half or so.
std::string Noise(uint32_t seed, size_t size) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = char(((seed = seed * 1664525u + 1013904223u) >> 24) & 0x0F);
  return bytes;
}

WIN32_FILE_ATTRIBUTE_DATA Attributes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data;
}

// A file and its folders, last written at a fixed local time (an even second, as ZIP keeps it).
void MakeFile(const std::wstring& path, const std::string& bytes) {
  SHCreateDirectoryExW(nullptr, path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  const SYSTEMTIME when{2021, 5, 0, 6, 13, 8, 10, 0};
  FILETIME local, utc;
  SystemTimeToFileTime(&when, &local);
  LocalFileTimeToFileTime(&local, &utc);
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, 0);
  SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
}

// Each test has a folder of its own below %TEMP%\unpacker_e2e, the unpacker's working folder:
// src\ is packed into setup.exe, dest\ is the destination. The folder stays behind when the
// test fails.
class UnpackerTest : public ::testing::Test {
 protected:
  // The unpacker's dialogs, told apart by a control of their own; the password box has the
  // folder box's id.
  static bool IsMain(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_PROGRESS); }
  static bool IsPassword(HWND w) { return !IsMain(w) && GetDlgItem(w, IDC_PASSWORD); }
  static bool IsOverwrite(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_APPLY_TO_ALL); }
  static bool IsAbout(HWND w) { return IsDialog(w) && GetDlgItem(w, IDC_EDITION); }

  void SetUp() override {
    case_ = AnsiToWide(TempFolder()) + L"unpacker_e2e\\" +
            AnsiToWide(::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(case_);
  }
  void TearDown() override {
    stub_.reset();  // ends it
    if (!HasFailure()) RemoveTree(case_);
  }

  std::wstring Case(const std::wstring& name) const { return case_ + L"\\" + name; }
  // A file in the destination, dest\.
  std::wstring Dest(const std::wstring& name) const { return Case(L"dest\\" + name); }
  HWND Item(int id) const { return GetDlgItem(main_, id); }
  void Source(const std::wstring& name, const std::string& bytes) {
    MakeFile(Case(L"src\\" + name), bytes);
  }

  // Two files, one in a folder, one with a Korean name, read-only and hidden.
  void StandardSource() {
    Source(L"sub\\data.bin", Noise(1, 100000));
    Source(L"한글 이름.txt", "\xEC\x95\x88");
    SetFileAttributesW(Case(L"src\\한글 이름.txt").c_str(), kKept);
  }
  // The files, with the contents, times and attributes of the files packed.
  void ExpectStandardFiles(const std::wstring& folder) {
    for (const wchar_t* name : {L"sub\\data.bin", L"한글 이름.txt"}) {
      EXPECT_TRUE(ReadFileBytes(folder + L"\\" + name) == ReadFileBytes(Case(L"src\\") + name));
      const auto in = Attributes(Case(L"src\\") + name), out = Attributes(folder + L"\\" + name);
      EXPECT_EQ(CompareFileTime(&in.ftLastWriteTime, &out.ftLastWriteTime), 0);
      EXPECT_EQ(out.dwFileAttributes & kKept, in.dwFileAttributes & kKept);
    }
  }

  // Packs src\ into setup.exe with `options` and the stub of this test's own architecture
  // (unless `options` is empty); starts it with `switches` and, unless `autoExtract`, waits
  // until its main dialog is idle.
  void Launch(const std::vector<std::wstring>& options, bool autoExtract = false,
              const std::wstring& switches = L"") {
    if (!options.empty()) {
      ASSERT_NO_FATAL_FAILURE(PackFolder(options, Case(L"src"), Case(L"setup.exe")));
    }
    stub_.emplace();
    ASSERT_TRUE(stub_->Start(L"\"" + Case(L"setup.exe") + L"\" " + switches, case_)) << "no start";
    if (autoExtract) return;
    ASSERT_NE(main_ = stub_->WaitForWindow(IsMain), nullptr) << "no main dialog";
    Sleep(150);  // the dialog shows itself before it scans, its controls off until the end
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); })) << "the scan did not end";
  }
  // Clicks a dialog's button and waits for the dialog to close.
  void Answer(HWND dialog, int button) {
    ASSERT_NE(dialog, nullptr) << "no dialog";
    Click(GetDlgItem(dialog, button));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stays";
  }
  // The program ends by itself with `exitCode`; after a message, when `message` is given.
  void ExpectEnded(const std::wstring& message = L"", DWORD exitCode = 0) {
    EXPECT_EQ(message.empty() ? message : stub_->AnswerMessageBox(), message);
    ASSERT_TRUE(stub_->WaitForExit(15000)) << "the unpacker is still running";
    EXPECT_EQ(stub_->ExitCode(), exitCode);
  }

  std::wstring case_;
  std::optional<Program> stub_;
  HWND main_ = nullptr;
};

// With the automatic flag no window asks or tells anything: the files are there, with their
// times and attributes, and the program ends with code 0. When the first header is damaged,
// the scan says so, and the automatic extraction writes nothing and ends with code 2.
TEST_F(UnpackerTest, AutoExtractAndItsFailure) {
  StandardSource();
  ASSERT_NO_FATAL_FAILURE(Launch({L"--auto", L"--folder", Case(L"dest")}, true));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  ExpectStandardFiles(Case(L"dest"));
  RemoveTree(Case(L"dest"));
  const size_t zipStart = Attributes(Tool("UNPACKER_EXE")).nFileSizeLow + 256;
  std::string bytes = ReadFileBytes(Case(L"setup.exe"));
  ASSERT_EQ(bytes.substr(zipStart, 4), std::string("PK\3\4", 4));
  ASSERT_TRUE(WriteFileBytes(Case(L"setup.exe"), bytes.replace(zipStart, 4, "XXXX")));
  ASSERT_NO_FATAL_FAILURE(Launch({}, true));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(L"Pakko EXE: 압축 파일을 읽을 수 없습니다.", 2));
  EXPECT_FALSE(FileExists(Case(L"dest")));
}

// The main dialog as a user goes through it. The caption titles it; the default folder shows
// the folder macros as the real system folders ({temp} ends with its backslash, the others get
// one before what follows; the folder need not be one that can be made). The folder picker,
// owned by the dialog, shows the folder it opens with (the desktop) when confirmed. A folder
// name Windows cannot have is refused: the message, the box keeps it, the dialog stays. A
// Korean, nested folder typed then is where the files go: the password is asked once, then
// each file already there, with its name and the sizes: "예" replaces a.txt, "아니오" keeps
// b.txt; the success message ends the dialog. (Wrong passwords are tested natively: one typed
// here would first need an archive that it fails at the one-byte check; it passes in one of
// 256.)
TEST_F(UnpackerTest, MainDialogPasswordAndOverwriteQuestion) {
  StandardSource();
  const std::wstring typed = Dest(L"받을 곳\\하위 폴더");
  for (const wchar_t* name : {L"a.txt", L"b.txt"}) {
    Source(name, "new" + std::string(1231, '.'));
    MakeFile(typed + L"\\" + name, "old");
  }
  ASSERT_NO_FATAL_FAILURE(Launch({L"--caption", L"한글 설치 프로그램", L"--folder",
                                  L"{temp}\\임시 {win} {sys}x", L"--password", L"비밀 Pw9"}));
  EXPECT_EQ(Text(main_), L"한글 설치 프로그램");
  wchar_t windows[MAX_PATH], system[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH) * GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(Text(Item(IDC_FOLDER)),
            AnsiToWide(TempFolder()) + L"임시 " + windows + L"\\ " + system + L"\\x");
  Click(Item(IDC_BROWSE));
  HWND picker = stub_->WaitForWindow(
      [](HWND w) { return IsDialog(w) && FindWindowExW(w, 0, WC_TREEVIEWW, 0); });
  ASSERT_NE(picker, nullptr) << "no folder picker";
  EXPECT_EQ(GetWindow(picker, GW_OWNER), main_);
  Sleep(300);  // the tree has selected its folder
  ASSERT_NO_FATAL_FAILURE(Answer(picker, IDOK));
  wchar_t desktop[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop);
  EXPECT_TRUE(WaitFor([&] { return Text(Item(IDC_FOLDER)) == desktop; }, 5000));
  Type(Item(IDC_FOLDER), Dest(L"a?b"));
  Click(Item(IDOK));
  EXPECT_EQ(stub_->AnswerMessageBox(), L"Pakko EXE: 폴더이름이 잘못되었습니다.");
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); })) << "not idle";
  EXPECT_EQ(Text(Item(IDC_FOLDER)), Dest(L"a?b"));
  Type(Item(IDC_FOLDER), typed);
  Click(Item(IDOK));
  HWND password = stub_->WaitForWindow(IsPassword);
  ASSERT_NE(password, nullptr) << "no password dialog";
  Type(GetDlgItem(password, IDC_PASSWORD), L"비밀 Pw9", false);
  ASSERT_NO_FATAL_FAILURE(Answer(password, IDOK));
  for (const int answer : {IDOK, IDCANCEL}) {
    HWND question = stub_->WaitForWindow(IsOverwrite);
    auto text = [&](int id) { return Text(GetDlgItem(question, id)); };
    EXPECT_EQ(text(IDC_EXISTING_NAME), answer == IDOK ? L"a.txt" : L"b.txt");
    EXPECT_EQ(text(IDC_EXISTING_SIZE) + text(IDC_NEW_SIZE), L"3바이트1,234바이트");
    ASSERT_NO_FATAL_FAILURE(Answer(question, answer));
  }
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(kAllExtracted));  // asked nothing more
  ExpectStandardFiles(typed);
  EXPECT_EQ(ReadFileBytes(typed + L"\\a.txt").substr(0, 3), "new");
  EXPECT_EQ(ReadFileBytes(typed + L"\\b.txt"), "old");
}

// 128 MiB of noise that deflate halves, then a small file: seconds of work. The about box
// opens while the pass runs, and the pass goes on once it is closed; "닫기" then cancels: the
// message, the dialog ends with code 255, nothing after the partial file is written.
TEST_F(UnpackerTest, AboutBoxThenCloseDuringALongExtraction) {
  Source(L"1_big.bin", Noise(7, size_t(128) << 20));
  Source(L"2_tail.txt", "the end");
  ASSERT_NO_FATAL_FAILURE(Launch({L"--level", L"1", L"--folder", Case(L"dest")}));
  Click(Item(IDOK));
  ASSERT_TRUE(WaitFor([&] { return FileExists(Dest(L"1_big.bin")); })) << "no extraction";
  Click(Item(IDC_ABOUT));
  ASSERT_NO_FATAL_FAILURE(Answer(stub_->WaitForWindow(IsAbout), IDCANCEL));
  auto written = [&] { return Attributes(Dest(L"1_big.bin")).nFileSizeLow; };
  const DWORD before = written();
  EXPECT_TRUE(WaitFor([&] { return written() > before; }, 5000)) << "the pass does not go on";
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(L"Pakko EXE: 작업이 취소되었습니다.", 255));
  EXPECT_LT(written(), 128u << 20);
  EXPECT_FALSE(FileExists(Dest(L"2_tail.txt")));
}

// Switches with the window: /D= fills the folder box, blanks and Korean included; a wrong /P=
// brings up the password dialog, and closing it fails the pass without a message; the dialog
// closed then ends with code 2. Closed before any extraction, it ends with 255.
TEST_F(UnpackerTest, SwitchesWithTheWindow) {
  Source(L"a.txt", "a");
  const std::wstring typed = Case(L"받을 곳 2");
  ASSERT_NO_FATAL_FAILURE(Launch({L"--password", L"secret"}, false, L"/P=wrong /D=" + typed));
  EXPECT_EQ(Text(Item(IDC_FOLDER)), typed);
  Click(Item(IDOK));
  HWND password = stub_->WaitForWindow(IsPassword);
  ASSERT_NE(password, nullptr) << "no password dialog";
  PostMessageW(password, WM_CLOSE, 0, 0);  // its title bar's Close: it has no other way out
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(password); })) << "the dialog stays";
  EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(Item(IDOK)); })) << "not idle";
  EXPECT_FALSE(FileExists(typed + L"\\a.txt"));
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(L"", 2));
  ASSERT_NO_FATAL_FAILURE(Launch({}));
  Click(Item(IDCANCEL));
  ASSERT_NO_FATAL_FAILURE(ExpectEnded(L"", 255));
}

// With wait-then-delete the run command starts the program, "><" (the destination) expanded:
// Notepad, with the extracted file. The dialog
// stays, idle, while it runs; when it ends, the files the extraction wrote are deleted, and a
// file not in the archive remains.
TEST_F(UnpackerTest, WaitThenDeleteRemovesWhatWasWritten) {
  Source(L"sub\\notes.txt", "notes");
  MakeFile(Dest(L"other.txt"), "not in the archive");
  ASSERT_NO_FATAL_FAILURE(Launch({L"--wait-delete", L"--run", L"{sys}notepad.exe|><sub\\notes.txt",
                                  L"--folder", Case(L"dest")}));
  Click(Item(IDOK));
  EXPECT_EQ(stub_->AnswerMessageBox(), kAllExtracted);
  HWND notepad = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (notepad = FindWindowW(L"Notepad", nullptr)) != nullptr; }))
      << "Notepad did not start";
  EXPECT_TRUE(WaitFor([&] { return Text(notepad).starts_with(L"notes.txt"); })) << Text(notepad);
  Sleep(500);  // time to end, which it must not while the program runs
  EXPECT_TRUE(IsWindowEnabled(Item(IDOK)) && FileExists(Dest(L"sub\\notes.txt"))) << "not idle";
  PostMessageW(notepad, WM_CLOSE, 0, 0);
  ASSERT_NO_FATAL_FAILURE(ExpectEnded());
  EXPECT_FALSE(FileExists(Dest(L"sub\\notes.txt")));
  EXPECT_EQ(ReadFileBytes(Dest(L"other.txt")), "not in the archive");
}

// Not a test: pictures of the four dialogs for the documentation (take-screenshots): the about
// box, the password dialog with its password typed, the main dialog halfway through an
// extraction while the overwrite question waits (moved aside), and that question.
TEST_F(UnpackerTest, DISABLED_Screenshots) {
  auto shot = [](HWND window, const std::wstring& name) {
    Sleep(700);  // drawn
    EXPECT_TRUE(SaveWindowImage(window, screenshots + L"\\unpacker-" + name + L".bmp"));
  };
  const std::wstring dest = L"C:\\압축 예제";  // short, so that the folder box shows it whole
  Source(L"1_data.bin", Noise(3, 12 << 20));
  Source(L"2_설명서.txt", std::string(48213, 'x'));
  Source(L"3_data.bin", Noise(4, 12 << 20));
  MakeFile(dest + L"\\2_설명서.txt", std::string(20480, 'y'));
  ASSERT_NO_FATAL_FAILURE(Launch({L"--level", L"1", L"--password", L"secret"}));
  Click(Item(IDC_ABOUT));
  shot(stub_->WaitForWindow(IsAbout), L"about");
  Answer(stub_->WaitForWindow(IsAbout), IDCANCEL);
  Type(Item(IDC_FOLDER), dest);
  Click(Item(IDOK));
  HWND password = stub_->WaitForWindow(IsPassword);
  Type(GetDlgItem(password, IDC_PASSWORD), L"secret", false);
  shot(password, L"password");
  Answer(password, IDOK);
  HWND question = stub_->WaitForWindow(IsOverwrite);
  SetWindowPos(question, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  shot(main_, L"main");
  shot(question, L"overwrite");
  Answer(question, IDCANCEL);
  ExpectEnded(kAllExtracted);
  RemoveTree(dest);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--screenshots") {
    screenshots = AnsiToWide(argv[2]);
    GTEST_FLAG_SET(filter, "*Screenshots");
    GTEST_FLAG_SET(also_run_disabled_tests, true);
  }
  // The display has no window manager, and Wine waits two seconds for one whenever a managed
  // window is hidden (every message box and dialog that closes). The programs under test run
  // as setup.exe, which Wine is told to give unmanaged windows (in the test prefix).
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\setup.exe\\X11 Driver",
                  L"Managed", REG_SZ, L"N", 2 * sizeof(wchar_t));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
