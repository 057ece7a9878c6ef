#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "settings/IniFile.h"

// The value kinds of Setup.ini. Each reader returns nullopt for text it does
// not accept, so that the caller keeps the value it had.
namespace setupvalue {
// Signed decimal, or hexadecimal after "$", "0x" or "0X"; 32 bits.
std::optional<std::int32_t> ParseInteger(const QString& text);
// In the user's locale (no group separators); failing that, with a point.
std::optional<double> ParseNumber(const QString& text);
// Shortest text that reads back as the same float, in the user's locale.
QString FormatNumber(float value);
}  // namespace setupvalue

// ReadSetup and WriteSetup without the file system, for tests and fuzzing.
void ReadSetupFrom(const TIniFile& ini);
void WriteSetupTo(TIniFile& ini);

// Longest ImagePathDefault read back, in UTF-16 units.
inline constexpr int MaxTextLength = 2047;
// Widths of tools read from the file must lie in (0, MaxToolThickness].
inline constexpr float MaxToolThickness = 1000;
// What a tool gets when neither the file nor the slot had a usable width.
inline constexpr float FallbackToolThickness = 8;
