// UTF-8 to and from UTF-16 for the wide Windows API.
#pragma once

#include <string>
#include <string_view>

namespace mksfx {

std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace mksfx
