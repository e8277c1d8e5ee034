// Extras of the native system-folder seam: the folders that {win}, {sys} and {temp} stand for,
// settable by tests. The defaults are those of a Wine prefix.
#pragma once

// Null makes the folder's query fail. The texts must outlive their use; reset restores the
// defaults.
void SetNativeSystemFolders(const char* windows, const char* system, const char* temp);
void ResetNativeSystemFolders();
