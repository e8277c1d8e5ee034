// FolderModule: the shell's folder browser.
#pragma once

#include <string>

// The folder the user picked, without a trailing "\" (as the shell gives it), or "" when the
// user cancelled. Browses the whole namespace from the desktop, file-system folders only.
std::u16string SelectFolder();
