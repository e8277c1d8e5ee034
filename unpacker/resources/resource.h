// Resource and control ids of the unpacker's dialogs. Ids 1 and 2 are the standard OK and
// Cancel; the others are fixed by the dialog templates and must not change.
#pragma once

// MainDialog
#define IDC_FOLDER_LABEL 100
#define IDC_FOLDER 101
#define IDC_BROWSE 775
#define IDC_OVERWRITE 1008
#define IDC_ABOUT 4
#define IDC_PROGRESS 906

// PASSWD
#define IDC_PASSWORD 101

// FILEEXIST
#define IDC_APPLY_TO_ALL 401
#define IDC_EXISTING_NAME 500
#define IDC_EXISTING_SIZE 501
#define IDC_EXISTING_DATE 502
#define IDC_NEW_SIZE 503
#define IDC_NEW_DATE 504

// ABOUT2
#define IDC_EDITION 909

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
