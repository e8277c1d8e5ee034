// ProjectModule on Windows: the list loader and the download run wired to the forms, WinHTTP,
// urlmon and message boxes. Their logic lives in the portable modules (list_file, music_list,
// download_songs).
#pragma once

#include <string>

// Reads lbmpath's list file and fills MainForm's music list and its counter label. The caller
// has cleared both lists. A list file that cannot be read is told (caption "List Load") and
// leaves the music list empty.
void LoadMusicList();

// Downloads the titles of MainForm's download list into the settings form's folder field.
void DownloadSongs();

// URLDownloadToFileA of `address` into `path` (both in the ANSI code page). True only when the
// call succeeded and the server's status was not an HTTP error; an error page that the call
// saved anyway is deleted.
bool DownloadFile(const std::u16string& address, const std::u16string& path);
