#pragma once

// UTF-8 at the interface, UTF-16 for the wide Win32 calls. Windows only.

#include <string>
#include <string_view>

// Empty for empty input, for bytes that are not UTF-8, and for text holding
// a NUL, which no Win32 name may contain.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
