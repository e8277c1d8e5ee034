// Control ids of fetcher's two forms, one range per form. The end-to-end tests address the
// controls by these ids.
#pragma once

// MainForm: 100-199.
#define IDC_MUSIC_LIST_LABEL 101     // "My Music List (n)"
#define IDC_DOWNLOAD_LIST_LABEL 102  // "Download List (n)"
#define IDC_MUSIC_LIST 103           // My Music List: the titles of the list file
#define IDC_DOWNLOAD_LIST 104        // Download List: the titles to download
#define IDC_LIST_LOAD 105            // "List Load"
#define IDC_DOWNLOAD 106             // "Download"
#define IDC_SETTINGS 107             // "Setting"

// SetForm: 200-299.
#define IDC_PATH_FRAME 201
#define IDC_LIST_FILE_LABEL 202
#define IDC_LIST_FILE_FIELD 203
#define IDC_BROWSE_LIST_FILE 204  // "..."
#define IDC_DOWNLOAD_FOLDER_LABEL 205
#define IDC_DOWNLOAD_FOLDER_FIELD 206
#define IDC_BROWSE_FOLDER 207    // "..."
#define IDC_SAVE_SETTINGS 208    // "완료"
#define IDC_CANCEL_SETTINGS 209  // "취소"

// Window classes, so that tests can tell the forms from other windows of the process.
#define FETCHER_MAIN_FORM_CLASS L"FetcherMainForm"
#define FETCHER_SET_FORM_CLASS L"FetcherSetForm"
