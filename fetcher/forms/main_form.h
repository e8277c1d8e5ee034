// MainForm: the program's window. Two lists side by side, My Music List (List1) and Download
// List (List2), each with a counter label, and the buttons "List Load", "Download" and
// "Setting". Closing it ends the program, settings form included.
#pragma once

#include <windows.h>

namespace MainForm {

// Creates and shows the form; false when the window could not be made.
bool Show(HINSTANCE instance, int showCommand);

HWND Window();
HWND List1();
HWND List2();

// Label1 and Label2 from the current entry counts of List1 and List2.
void ShowCounts();

}  // namespace MainForm
