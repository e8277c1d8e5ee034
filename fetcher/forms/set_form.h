// SetForm: the settings form, one instance for the program, modeless and without an owner.
// It picks the list file and the download folder, each in a text field, and saves both into
// Setting.ini with "완료"; "취소" and closing the window save nothing.
#pragma once

#include <windows.h>

#include <string>

namespace SetForm {

// Loads the form if it is not loaded (filling both fields from Setting.ini) and shows it.
void Show();

// The download-folder field as it stands, saved or not. Loads the form without showing it
// when it is not loaded.
std::u16string DownloadFolderField();

// Closes the form without saving, if it is loaded.
void Unload();

// The form's window, or null when it is not loaded.
HWND Window();

}  // namespace SetForm
