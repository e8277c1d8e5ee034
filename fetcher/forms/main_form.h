// MainForm: the program's window. Two lists side by side, My Music List (MusicList) and
// Download List (DownloadList), each with a counter label, and the buttons "List Load",
// "Download" and "Setting". Closing it ends the program, settings form included.
#pragma once

#include <windows.h>

namespace MainForm {

// Creates and shows the form; false when the window could not be made.
bool Show(HINSTANCE instance, int showCommand);

HWND Window();
HWND MusicList();
HWND DownloadList();

// The counter labels from the current entry counts of both lists.
void ShowCounts();

}  // namespace MainForm
