// The two names a song gets from its record: the lookup address sent to the music service and
// the file name it is saved under. Part of ProjectModule.
#pragma once

#include <string>
#include <string_view>

// The lookup page of the music service, below "http://" + host.
inline constexpr char16_t kLookupPath[] = u"/contents/search/ex_path.php?m_id=";

// "%XX" for every byte of `ansi` except letters, digits and "-._~" (RFC 3986 2.3), so text
// from the list file cannot add parameters to the request or change its path.
std::u16string PercentEncode(std::string_view ansi);

// "http://" + host + the lookup page + the media id in the ANSI code page, percent-encoded.
std::u16string LookupAddress(std::u16string_view host, std::u16string_view mediaId);

// The title as a file name: "\ / : * ? " < > |" and control characters become "_", and a
// name that Windows takes for a device (IsDeviceName: CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// also with an extension) gets a "_" in front, so a song is always saved as a file inside the
// download folder.
std::u16string SafeFileName(std::u16string_view title);
