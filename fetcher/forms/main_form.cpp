#include "fetcher/forms/main_form.h"

#include "fetcher/forms/form_kit.h"
#include "fetcher/forms/resource.h"
#include "fetcher/forms/set_form.h"
#include "fetcher/modules/messages.h"
#include "fetcher/modules/win32/ini_module.h"
#include "fetcher/modules/win32/project_module.h"

namespace MainForm {
namespace {

using namespace fetcher_text;

HWND Form = nullptr;

constexpr DWORD kListStyle =
    WS_TABSTOP | WS_VSCROLL | WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;

// In tab order (tab index 0 first). Positions in twips; the client area is 8655 x 3495.
const form_kit::Control kControls[] = {
    {L"BUTTON", kSetting, IDC_SETTINGS, 7560, 1080, 975, 255, WS_TABSTOP | BS_PUSHBUTTON},
    {L"BUTTON", kDownload, IDC_DOWNLOAD, 7560, 720, 975, 255, WS_TABSTOP | BS_PUSHBUTTON},
    {L"BUTTON", kListLoad, IDC_LIST_LOAD, 7560, 360, 975, 255, WS_TABSTOP | BS_PUSHBUTTON},
    {L"LISTBOX", nullptr, IDC_DOWNLOAD_LIST, 3840, 360, 3615, 3030, kListStyle},
    {L"LISTBOX", nullptr, IDC_MUSIC_LIST, 120, 360, 3615, 3030, kListStyle},
    {L"STATIC", u"Download List (0)", IDC_DOWNLOAD_LIST_LABEL, 3840, 120, 1455, 165, SS_LEFT},
    {L"STATIC", u"My Music List (0)", IDC_MUSIC_LIST_LABEL, 120, 120, 1425, 165, SS_LEFT},
};

HWND Item(int id) {
  return GetDlgItem(Form, id);
}

std::u16string CountText(const char16_t* prefix, int count) {
  std::u16string text = prefix;
  for (char c : std::to_string(count)) text.push_back(char16_t(c));
  return text + u")";
}

void ShowInformation(const char16_t* text, const char16_t* caption) {
  form_kit::ShowMessage(Form, text, caption, MessageIcon::Information);
}

std::u16string Setting(const char16_t* key) {
  return ReadIni(kPathSection, key, SettingsFile());
}

// "List Load"
void Command1_Click() {
  if (Setting(kListPathKey).empty()) {
    ShowInformation(kNeedListPath, kCaptionListLoad);
    return;
  }
  SendMessageW(MusicList(), LB_RESETCONTENT, 0, 0);
  SendMessageW(DownloadList(), LB_RESETCONTENT, 0, 0);
  form_kit::SetText(Item(IDC_DOWNLOAD_LIST_LABEL), CountText(kDownloadList, 0));
  LoadMusicList();
}

// "Download"
void Command2_Click() {
  if (Setting(kSavePathKey).empty()) {
    ShowInformation(kNeedSavePath, kCaptionDownload);
    return;
  }
  if (form_kit::ListCount(DownloadList()) == 0) {
    ShowInformation(kNeedSongs, kCaptionDownload);
    return;
  }
  DownloadSongs();
}

// "Setting"
void Command3_Click() {
  SetForm::Show();
}

// Moves the selected entry of `from` to the end of `to`. Without a selection (a double-click
// on an empty list, or below its entries) nothing happens.
void MoveSelected(HWND from, HWND to) {
  const int index = int(SendMessageW(from, LB_GETCURSEL, 0, 0));
  if (index < 0) return;
  form_kit::ListAdd(to, form_kit::ListText(from, index));
  SendMessageW(from, LB_DELETESTRING, WPARAM(index), 0);
  SendMessageW(from, LB_SETCURSEL, WPARAM(-1), 0);
  ShowCounts();
}

void List1_DblClick() {
  MoveSelected(MusicList(), DownloadList());
}
void List2_DblClick() {
  MoveSelected(DownloadList(), MusicList());
}

void OnCommand(int id, int code) {
  if (code == BN_CLICKED) {
    if (id == IDC_LIST_LOAD) Command1_Click();
    if (id == IDC_DOWNLOAD) Command2_Click();
    if (id == IDC_SETTINGS) Command3_Click();
  } else if (code == LBN_DBLCLK) {
    if (id == IDC_MUSIC_LIST) List1_DblClick();
    if (id == IDC_DOWNLOAD_LIST) List2_DblClick();
  }
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      Form = window;
      form_kit::CreateControls(window, kControls, std::size(kControls));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      form_kit::RememberFocus(window, wParam);
      return 0;
    case WM_DESTROY:
      form_kit::ForgetFocus(window);
      SetForm::Unload();
      Form = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool Show(HINSTANCE instance, int showCommand) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FormProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = FETCHER_MAIN_FORM_CLASS;
  if (!RegisterClassExW(&windowClass)) return false;
  // A fixed single border with a minimize button: the layout does not resize.
  HWND form = form_kit::CreateForm(FETCHER_MAIN_FORM_CLASS, kMainFormCaption, 8655, 3495,
                                   WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  if (!form) return false;
  ShowWindow(form, showCommand);
  UpdateWindow(form);
  return true;
}

HWND Window() {
  return Form;
}
HWND MusicList() {
  return Item(IDC_MUSIC_LIST);
}
HWND DownloadList() {
  return Item(IDC_DOWNLOAD_LIST);
}

void ShowCounts() {
  form_kit::SetText(Item(IDC_MUSIC_LIST_LABEL),
                    CountText(kMyMusicList, form_kit::ListCount(MusicList())));
  form_kit::SetText(Item(IDC_DOWNLOAD_LIST_LABEL),
                    CountText(kDownloadList, form_kit::ListCount(DownloadList())));
}

}  // namespace MainForm
