// Control ids of fetcher's two forms, one range per form. The end-to-end tests address the
// controls by these ids.
#pragma once

// MainForm: 100-199.
#define IDC_MAIN_LABEL1 101
#define IDC_MAIN_LABEL2 102
#define IDC_MAIN_LIST1 103
#define IDC_MAIN_LIST2 104
#define IDC_MAIN_COMMAND1 105  // "List Load"
#define IDC_MAIN_COMMAND2 106  // "Download"
#define IDC_MAIN_COMMAND3 107  // "Setting"

// SetForm: 200-299.
#define IDC_SET_FRAME1 201
#define IDC_SET_LABEL1 202
#define IDC_SET_TEXT1 203     // list-file path
#define IDC_SET_COMMAND1 204  // "..." for the list file
#define IDC_SET_LABEL2 205
#define IDC_SET_TEXT2 206     // download folder
#define IDC_SET_COMMAND2 207  // "..." for the folder
#define IDC_SET_COMMAND3 208  // "완료"
#define IDC_SET_COMMAND4 209  // "취소"

// Window classes, so that tests can tell the forms from other windows of the process.
#define FETCHER_MAIN_FORM_CLASS L"FetcherMainForm"
#define FETCHER_SET_FORM_CLASS L"FetcherSetForm"
