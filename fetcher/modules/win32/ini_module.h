// iniModule: the settings file Setting.ini beside the program, read and written only through
// the private-profile functions of kernel32, in the ANSI code page.
#pragma once

#include <string>

inline constexpr char16_t kPathSection[] = u"PathSetting";
inline constexpr char16_t kListPathKey[] = u"lbmpath";
inline constexpr char16_t kSavePathKey[] = u"wmapath";
// Optional: the music service's host ("name" or "name:port"), when it differs from the one
// the program was built with.
inline constexpr char16_t kServiceSection[] = u"Service";
inline constexpr char16_t kServiceHostKey[] = u"host";

// The program's folder followed by "\Setting.ini".
std::u16string SettingsFile();

// The value, at most 254 bytes of it, or "" when the file, the section or the key is missing.
std::u16string ReadIni(const std::u16string& section, const std::u16string& key,
                       const std::u16string& file);

// Stores the value, creating the file and the section as needed. A failed write is not told.
void WriteIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
              const std::u16string& file);
