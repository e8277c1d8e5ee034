// The little form toolkit behind MainForm and SetForm: forms and controls placed in twips with
// the forms' font, and the list-box, text and message-box operations the handlers use.
#pragma once

#include <windows.h>

#include <string>

#include "fetcher/modules/download_songs.h"

namespace form_kit {

// The forms are laid out in twips at 96 DPI: 1440 twips an inch, 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int Pixels(int twips) {
  return twips / kTwipsPerPixel;
}

// 굴림, 8.25 point, Hangul character set: every form and control.
HFONT FormFont();

struct Control {
  const wchar_t* windowClass;
  const char16_t* caption;
  int id;
  int left, top, width, height;  // twips, relative to the form's client area or the frame
  DWORD style;
  DWORD extendedStyle = 0;
};

// Creates the controls in the order given, which is their tab order, inside `form`, shifted by
// (offsetLeft, offsetTop) twips for those that sit in a frame.
void CreateControls(HWND form, const Control* controls, size_t count, int offsetLeft = 0,
                    int offsetTop = 0);

// A top-level window of `windowClass` with a client area of the given size in twips.
HWND CreateForm(const wchar_t* windowClass, const char16_t* caption, int clientWidth,
                int clientHeight, DWORD style);

std::u16string Text(HWND control);
void SetText(HWND control, const std::u16string& text);

int ListCount(HWND list);
std::u16string ListText(HWND list, int index);
void ListAdd(HWND list, const std::u16string& text);

// A message box with one OK button.
void ShowMessage(HWND owner, const std::u16string& text, const std::u16string& caption,
                 MessageIcon icon);

// Keeps keyboard focus with the control that had it when the form is activated again, and
// starts on the first control in tab order.
void RememberFocus(HWND form, WPARAM activateState);
void ForgetFocus(HWND form);

}  // namespace form_kit
