#include "fetcher/forms/set_form.h"

#include <commdlg.h>

#include "fetcher/forms/form_kit.h"
#include "fetcher/forms/resource.h"
#include "fetcher/modules/messages.h"
#include "fetcher/modules/win32/folder_module.h"
#include "fetcher/modules/win32/ini_module.h"
#include "fetcher/modules/win32/wide.h"

namespace SetForm {
namespace {

using namespace fetcher_text;

HWND Form = nullptr;

constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kTextField = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;

// In tab order (tab index 0 first). Twips; the client area is 6135 x 1695.
const form_kit::Control kFormControls[] = {
    {L"BUTTON", kCancel, IDC_CANCEL_SETTINGS, 5160, 600, 855, 255, kButton},
    {L"BUTTON", kDone, IDC_SAVE_SETTINGS, 5160, 240, 855, 255, kButton},
    {L"BUTTON", kPathFrame, IDC_PATH_FRAME, 120, 120, 4935, 1455, BS_GROUPBOX},
};
// Inside the path frame, at positions relative to the frame.
constexpr int kFrameLeft = 120;
constexpr int kFrameTop = 120;
const form_kit::Control kFrameControls[] = {
    {L"BUTTON", kBrowse, IDC_BROWSE_FOLDER, 4320, 1080, 495, 255, kButton},
    {L"EDIT", nullptr, IDC_DOWNLOAD_FOLDER_FIELD, 120, 1080, 4095, 255, kTextField},
    {L"BUTTON", kBrowse, IDC_BROWSE_LIST_FILE, 4320, 480, 495, 255, kButton},
    {L"EDIT", nullptr, IDC_LIST_FILE_FIELD, 120, 480, 4095, 255, kTextField},
    {L"STATIC", kSavePathLabel, IDC_DOWNLOAD_FOLDER_LABEL, 120, 840, 2055, 165, SS_LEFT},
    {L"STATIC", kListPathLabel, IDC_LIST_FILE_LABEL, 120, 240, 1905, 165, SS_LEFT},
};

HWND Item(int id) {
  return GetDlgItem(Form, id);
}

void ShowError(const char16_t* text) {
  form_kit::ShowMessage(Form, text, kCaptionSetting, MessageIcon::Error);
}

std::u16string Trim(const std::u16string& text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return {};
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

void Form_Load() {
  const std::u16string settings = SettingsFile();
  form_kit::SetText(Item(IDC_LIST_FILE_FIELD), ReadIni(kPathSection, kListPathKey, settings));
  form_kit::SetText(Item(IDC_DOWNLOAD_FOLDER_FIELD), ReadIni(kPathSection, kSavePathKey, settings));
}

// "..." of the list file: the system's file-open dialog. A cancelled dialog leaves the field
// as it was.
void Command1_Click() {
  std::string filter = Ansi(kListFileFilter);
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  filter.push_back('\0');
  char path[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Form;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  if (!GetOpenFileNameA(&dialog)) return;
  form_kit::SetText(Item(IDC_LIST_FILE_FIELD), Trim(AnsiToUnicode(path)));
}

// "..." of the download folder. A cancelled browse gives an empty path and leaves the field as
// it was: "\" alone would send every song to the root of the current drive.
void Command2_Click() {
  const std::u16string folder = SelectFolder();
  if (folder.empty()) return;
  form_kit::SetText(Item(IDC_DOWNLOAD_FOLDER_FIELD), folder + u"\\");
}

// "완료"
void Command3_Click() {
  const std::u16string listPath = form_kit::Text(Item(IDC_LIST_FILE_FIELD));
  const std::u16string savePath = form_kit::Text(Item(IDC_DOWNLOAD_FOLDER_FIELD));
  if (listPath.empty()) {
    ShowError(kSetListPath);
    return;
  }
  if (savePath.empty()) {
    ShowError(kSetSavePath);
    return;
  }
  const std::u16string settings = SettingsFile();
  WriteIni(kPathSection, kListPathKey, listPath, settings);
  WriteIni(kPathSection, kSavePathKey, savePath, settings);
  Unload();
}

// "취소"
void Command4_Click() {
  Unload();
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Form = window;
      form_kit::CreateControls(window, kFormControls, std::size(kFormControls));
      form_kit::CreateControls(window, kFrameControls, std::size(kFrameControls), kFrameLeft,
                               kFrameTop);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case IDC_BROWSE_LIST_FILE:
          Command1_Click();
          break;
        case IDC_BROWSE_FOLDER:
          Command2_Click();
          break;
        case IDC_SAVE_SETTINGS:
          Command3_Click();
          break;
        case IDC_CANCEL_SETTINGS:
          Command4_Click();
          break;
      }
      return 0;
    case WM_ACTIVATE:
      form_kit::RememberFocus(window, wParam);
      return 0;
    case WM_CLOSE:
      Unload();
      return 0;
    case WM_DESTROY:
      form_kit::ForgetFocus(window);
      Form = nullptr;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Creates the form hidden and fills its fields.
void Load() {
  if (Form) return;
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FormProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FETCHER_SET_FORM_CLASS;
    registered = RegisterClassExW(&windowClass) != 0;
  }
  form_kit::CreateForm(FETCHER_SET_FORM_CLASS, kSetFormCaption, 6135, 1695,
                       WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
  if (Form) Form_Load();
}

}  // namespace

void Show() {
  Load();
  if (!Form) return;
  ShowWindow(Form, SW_SHOW);
  SetForegroundWindow(Form);
}

std::u16string DownloadFolderField() {
  Load();
  return Form ? form_kit::Text(Item(IDC_DOWNLOAD_FOLDER_FIELD)) : std::u16string();
}

void Unload() {
  if (Form) DestroyWindow(Form);
}

HWND Window() {
  return Form;
}

}  // namespace SetForm
