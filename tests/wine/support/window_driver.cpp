#include "tests/wine/support/window_driver.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace window_driver {

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t className[64] = L"";
  GetClassNameW(window, className, 64);
  return lstrcmpiW(className, name) == 0;
}

// A message box is a dialog of buttons and statics whose text is the static with id 0xFFFF. A
// dialog template's own statics may carry that id too (-1 stored in 16 bits), so the id alone
// does not tell: the text static must not be an icon or a frame, and no other kind of control
// may be there.
bool IsMessageBox(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  const LONG type = GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK;
  if (!ClassIs(window, L"#32770") || !text || !ClassIs(text, L"Static") ||
      (type > SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP))
    return false;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (!ClassIs(child, L"Button") && !ClassIs(child, L"Static")) return false;
  return true;
}

// --- Program -----------------------------------------------------------------------------------

Program::~Program() {
  Terminate();  // unless it has ended
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

bool Program::Start(const std::wstring& commandLine, const std::wstring& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring writable = commandLine;  // CreateProcessW may write into it
  return CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process_) != FALSE;
}

HWND Program::WaitForWindow(const std::function<bool(HWND)>& accept, DWORD milliseconds) const {
  HWND found = nullptr;
  WaitFor(
      [&] {
        for (HWND w = GetTopWindow(nullptr); w && !found; w = GetWindow(w, GW_HWNDNEXT)) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == process_.dwProcessId && IsWindowVisible(w) && accept(w)) found = w;
        }
        return found != nullptr;
      },
      milliseconds);
  return found;
}

std::wstring Program::AnswerMessageBox() {
  HWND box = WaitForWindow(IsMessageBox);
  if (!box) return L"";
  const std::wstring seen = Text(box) + L": " + Text(GetDlgItem(box, 0xFFFF));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(box, IDOK)));
  return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }) ? seen : L"";
}

// --- Controls ----------------------------------------------------------------------------------

std::wstring Text(HWND window) {
  wchar_t text[4096] = L"";
  Send(window, WM_GETTEXT, 4096, LPARAM(text));
  return text;
}

std::vector<std::wstring> ListItems(HWND list) {
  std::vector<std::wstring> items;
  for (int i = 0, count = int(Send(list, LB_GETCOUNT)); i < count; ++i) {
    wchar_t text[1024] = L"";
    Send(list, LB_GETTEXT, WPARAM(i), LPARAM(text));
    items.push_back(text);
  }
  return items;
}

void DoubleClick(HWND list, int index) {
  const int height = int(Send(list, LB_GETITEMHEIGHT));
  const LPARAM at = MAKELPARAM(10, (index - Send(list, LB_GETTOPINDEX)) * height + height / 2);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMessageW(list, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
  Send(list, WM_NULL);
}

void Type(HWND field, const std::wstring& text, bool wait) {
  Send(field, WM_SETTEXT, 0, LPARAM(L""));
  for (wchar_t c : text) PostMessageW(field, WM_CHAR, WPARAM(c), 1);
  if (wait) WaitFor([&] { return Text(field) == text; }, 5000);
}

// A BMP lists its rows bottom up, three bytes a pixel (blue, green, red), each row padded to four
// bytes: as GetDIBits gives them.
bool SaveWindowImage(HWND window, const std::wstring& path) {
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER header{sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof file + sizeof header};
  file.bfSize = file.bfOffBits + DWORD((width * 3 + 3) & ~3) * DWORD(height);
  std::string bytes(file.bfSize, '\0');
  std::memcpy(bytes.data(), &file, sizeof file);
  std::memcpy(bytes.data() + sizeof file, &header, sizeof header);
  const int rows = GetDIBits(memory, bitmap, 0, UINT(height), bytes.data() + file.bfOffBits,
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return rows == height && WriteFileBytes(path, bytes);
}

// --- Files and texts ---------------------------------------------------------------------------

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary);
  return file.write(bytes.data(), std::streamsize(bytes.size())).flush().good();
}

void RemoveTree(const std::wstring& path) {
  const std::wstring from = path + L'\0';  // a list of one name
  SHFILEOPSTRUCTW operation{nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, 0, 0, 0};
  SHFileOperationW(&operation);
}

std::string TempFolder() {
  char folder[MAX_PATH];
  return std::string(folder, GetTempPathA(sizeof folder, folder));
}

std::wstring AnsiToWide(const std::string& ansi) {
  std::wstring text(ansi.size(), L'\0');
  text.resize(size_t(MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), text.data(),
                                         int(text.size()))));
  return text;
}

}  // namespace window_driver
