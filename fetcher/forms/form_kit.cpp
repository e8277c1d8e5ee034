#include "fetcher/forms/form_kit.h"

#include "fetcher/modules/win32/wide.h"

namespace form_kit {

HFONT FormFont() {
  static HFONT font = [] {
    LOGFONTW face{};
    // 8.25 points at 96 DPI: 8.25 * 96 / 72 = 11 pixels of character height.
    face.lfHeight = -11;
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = HANGEUL_CHARSET;
    lstrcpyW(face.lfFaceName, L"굴림");
    return CreateFontIndirectW(&face);
  }();
  return font;
}

void CreateControls(HWND form, const Control* controls, size_t count, int offsetLeft,
                    int offsetTop) {
  const HINSTANCE instance = HINSTANCE(GetWindowLongPtrW(form, GWLP_HINSTANCE));
  for (size_t i = 0; i < count; ++i) {
    const Control& c = controls[i];
    HWND control = CreateWindowExW(
        c.extendedStyle, c.windowClass, c.caption ? Wide(c.caption) : L"",
        WS_CHILD | WS_VISIBLE | c.style, Pixels(offsetLeft + c.left), Pixels(offsetTop + c.top),
        Pixels(c.width), Pixels(c.height), form, HMENU(INT_PTR(c.id)), instance, nullptr);
    SendMessageW(control, WM_SETFONT, WPARAM(FormFont()), FALSE);
  }
}

HWND CreateForm(const wchar_t* windowClass, const char16_t* caption, int clientWidth,
                int clientHeight, DWORD style) {
  RECT frame{0, 0, Pixels(clientWidth), Pixels(clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  return CreateWindowExW(0, windowClass, Wide(caption), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

std::u16string Text(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(size_t(length) + 1, L'\0');
  const int got = GetWindowTextW(control, text.data(), length + 1);
  return FromWide(text.data(), size_t(got));
}

void SetText(HWND control, const std::u16string& text) {
  SetWindowTextW(control, Wide(text));
}

int ListCount(HWND list) {
  return int(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

std::u16string ListText(HWND list, int index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, WPARAM(index), 0);
  if (length == LB_ERR) return {};
  std::wstring text(size_t(length) + 1, L'\0');
  const LRESULT got = SendMessageW(list, LB_GETTEXT, WPARAM(index), LPARAM(text.data()));
  return FromWide(text.data(), got == LB_ERR ? 0 : size_t(got));
}

void ListAdd(HWND list, const std::u16string& text) {
  SendMessageW(list, LB_ADDSTRING, 0, LPARAM(Wide(text)));
}

void ShowMessage(HWND owner, const std::u16string& text, const std::u16string& caption,
                 MessageIcon icon) {
  const UINT kind = icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  MessageBoxW(owner, Wide(text), Wide(caption), MB_OK | kind);
}

namespace {
constexpr wchar_t kFocus[] = L"FetcherFocus";
}  // namespace

void RememberFocus(HWND form, WPARAM activateState) {
  if (LOWORD(activateState) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(form, focus)) SetPropW(form, kFocus, focus);
    return;
  }
  HWND focus = HWND(GetPropW(form, kFocus));
  if (!focus || !IsWindow(focus)) focus = GetNextDlgTabItem(form, nullptr, FALSE);
  if (focus) SetFocus(focus);
}

void ForgetFocus(HWND form) {
  RemovePropW(form, kFocus);
}

}  // namespace form_kit
