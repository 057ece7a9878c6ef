#pragma once

// The shell's folders and the user's locale on Windows, for the settings.
// Plain C++ so that the settings stay the only place that turns them into
// Qt strings.

#include <cstdint>
#include <string>

// The locale whose users get the Japanese help page.
inline constexpr std::uint32_t JapaneseLocale = 1041;

inline constexpr bool HelpPageIsJapanese(std::uint32_t locale) { return locale == JapaneseLocale; }

#ifdef _WIN32
// The user's default locale identifier (GetUserDefaultLCID).
std::uint32_t UserDefaultLocale();

// The user's local application-data folder and picture folder, UTF-8 with
// backslashes and no trailing separator; empty when the shell has none.
std::string LocalAppDataFolder();
std::string MyPicturesFolder();
#endif
