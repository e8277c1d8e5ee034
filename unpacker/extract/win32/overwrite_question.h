// The five texts of the overwrite question, as the extraction loop builds them just before it
// asks: the existing file's name, size and date, and the archive file's size and date. They
// are UTF-16 so that the dialog shows them right whatever the system's code page.
#pragma once

#include <windows.h>

#include <cstdint>

#include "unpacker/extract/dos_date_time.h"
#include "unpacker/extract/file_system.h"

constexpr int kOverwriteTextSize = MAX_PATH + 1;

extern wchar_t ExistingName[kOverwriteTextSize];
extern wchar_t ExistingSizeText[kOverwriteTextSize];
extern wchar_t ExistingDateText[kOverwriteTextSize];
extern wchar_t NewSizeText[kOverwriteTextSize];
extern wchar_t NewDateText[kOverwriteTextSize];

// Fills the five texts for the file at `target` (ANSI code page), found as `existing`, and the
// archive entry of that name (its size and MS-DOS date-time).
void BuildOverwriteTexts(const char* target, const ExistingFile& existing, uint64_t newSize,
                         uint32_t newDosDateTime);

// Shows the overwrite question with the five texts; sets ReplaceThisFile, and OverwriteMode
// when the answer is to apply to all files. The shell shows the real dialog.
void ShowOverwriteDialog();

// "1,234,567바이트": the locale's digit grouping, no decimals, "바이트" right behind.
void FormatSizeText(uint64_t size, wchar_t* text, int capacity);

// The locale's short date, and unless the time is exactly midnight a blank and its long time.
void FormatDateTimeText(const DateTime& when, wchar_t* text, int capacity);
