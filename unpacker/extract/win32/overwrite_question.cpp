#include "unpacker/extract/win32/overwrite_question.h"

#include "unpacker/container/byte_string.h"
#include "unpacker/container/shared_state.h"
#include "unpacker/extract/extraction_ui.h"
#include "unpacker/extract/paths.h"

wchar_t ExistingName[kOverwriteTextSize];
wchar_t ExistingSizeText[kOverwriteTextSize];
wchar_t ExistingDateText[kOverwriteTextSize];
wchar_t NewSizeText[kOverwriteTextSize];
wchar_t NewDateText[kOverwriteTextSize];

void FormatSizeText(uint64_t size, wchar_t* text, int capacity) {
  wchar_t digits[32];
  int n = 0;
  do {
    digits[n++] = wchar_t(L'0' + size % 10);
    size /= 10;
  } while (size > 0);
  wchar_t plain[32];
  for (int i = 0; i < n; ++i) plain[i] = digits[n - 1 - i];
  plain[n] = 0;

  wchar_t thousands[8] = L",";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousands, 8);
  wchar_t decimal[] = L".";
  NUMBERFMTW format = {0, 0, 3, decimal, thousands, 1};
  if (GetNumberFormatW(LOCALE_USER_DEFAULT, 0, plain, &format, text, capacity - 4) == 0)
    lstrcpynW(text, plain, capacity - 4);
  lstrcatW(text, L"바이트");
}

void FormatDateTimeText(const DateTime& when, wchar_t* text, int capacity) {
  SYSTEMTIME st = {};
  st.wYear = when.Year;
  st.wMonth = when.Month;
  st.wDay = when.Day;
  st.wHour = when.Hour;
  st.wMinute = when.Minute;
  st.wSecond = when.Second;
  text[0] = 0;
  const int dateLength =
      GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, capacity);
  if (dateLength <= 0 || (when.Hour == 0 && when.Minute == 0 && when.Second == 0)) return;
  int at = dateLength - 1;
  if (at + 2 >= capacity) return;
  text[at++] = L' ';
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, text + at, capacity - at) <= 0)
    text[at - 1] = 0;
}

// The file name of a UTF-8 path, behind its last backslash, slash or colon (single bytes
// that are never part of another character in UTF-8), as UTF-16.
static void FileNameToWide(const char* path, wchar_t* wide, int capacity) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, capacity) == 0) wide[0] = 0;
}

void BuildOverwriteTexts(const char* target, const ExistingFile& existing, uint64_t newSize,
                         uint32_t newDosDateTime) {
  FileNameToWide(target, ExistingName, kOverwriteTextSize);
  FormatSizeText(existing.Size, ExistingSizeText, kOverwriteTextSize);
  FormatDateTimeText(DosDateTimeToDateTime(existing.DosDateTime), ExistingDateText,
                     kOverwriteTextSize);
  FormatSizeText(newSize, NewSizeText, kOverwriteTextSize);
  FormatDateTimeText(DosDateTimeToDateTime(newDosDateTime), NewDateText, kOverwriteTextSize);
}

bool AskToReplace(const char* target, const ExistingFile& existing, uint64_t newSize,
                  uint32_t newDosDateTime) {
  BuildOverwriteTexts(target, existing, newSize, newDosDateTime);
  ShowOverwriteDialog();
  MessageStep();
  return ReplaceThisFile;
}
