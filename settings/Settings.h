#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

#include "drawing/PenItem.h"

// Process-wide settings; read and written directly by their users, with no
// change notification.

inline constexpr int MenuCapacity = 22;
inline constexpr int MenuBodyCapacity = MenuCapacity - 3;  // before the fixed tail
inline constexpr int LaunchCapacity = 50;
inline constexpr int StockPenCount = 10;
inline constexpr int PresetThicknessCount = 5;
inline constexpr int PresetColorCount = 10;
inline constexpr float MinPresetThickness = 1;
inline constexpr float MaxPresetThickness = 60;

// The tile column; entries at or past MenuCount carry no meaning.
extern std::array<TPWMenuItem, MenuCapacity> MenuItems;
extern std::int32_t MenuCount;
// Every command the launcher offers; rebuilt by DefaultSetup, never stored.
extern std::array<TPWMenuItem, LaunchCapacity> LaunchItems;
extern std::int32_t LaunchCount;
extern std::array<TPWMenuItem, StockPenCount> StockPens;
extern std::array<float, PresetThicknessCount> PresetThickness;
extern std::array<TAlphaColor, PresetColorCount> PresetColor;
// 1 JPEG, 2 PNG, 3 BMP, 4 TGA, 5 PSD.
extern std::int32_t ImageTypeDefault;
extern std::int32_t ImageJPEGQuality;
// A folder that ends in exactly one separator.
extern QString ImagePathDefault;
extern bool isSmoothing;
extern bool isPressure;
// The overlay covers every monitor rather than the primary one only.
extern bool isAllScreens;
// The help page for the user's language, as a URL; set by ChooseHelpURL.
extern QString HelpURL;

// Shortcuts that work whatever window has the keyboard, one per keypad
// command, as key sequences in the toolkit's portable text ("Ctrl+Alt+D");
// empty means none. Kept as the file has them, so that one this system
// cannot take is written back unchanged.
enum THotKeyCommand : int { hkToggle, hkSave, hkEraseAll, hkApp, hkNextPen, HotKeyCount };
// The keys of section HotKeys, in the order of THotKeyCommand.
extern const std::array<const char*, HotKeyCount> HotKeyNames;
extern std::array<QString, HotKeyCount> HotKeys;

// Every setting the user can change, taken and put back as one; the launcher
// table is rebuilt from its factory contents and so needs no copy.
struct TSetupSnapshot {
  std::int32_t MenuCount;
  std::array<TPWMenuItem, MenuCapacity> MenuItems;
  std::array<TPWMenuItem, StockPenCount> StockPens;
  std::array<TAlphaColor, PresetColorCount> PresetColor;
  std::array<float, PresetThicknessCount> PresetThickness;
  std::int32_t ImageTypeDefault;
  std::int32_t ImageJPEGQuality;
  QString ImagePathDefault;
  bool isSmoothing;
  bool isPressure;
  std::array<QString, HotKeyCount> HotKeys;
  bool isAllScreens;

  static TSetupSnapshot Take();
  void Restore() const;
  bool operator==(const TSetupSnapshot&) const = default;
};

// Raised when the settings file cannot be written; its text names the file.
class ESetupWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// DefaultSetup, ReadSetup, CheckSetup; sets HelpURL when still empty.
void LoadSetup();
// WriteSetup; throws ESetupWriteError.
void SaveSetup();

void DefaultSetup();
// Reads the settings file over the current values; a missing file or key
// leaves them as they are. Creates nothing.
void ReadSetup();
// Brings the settings back within their invariants (see CheckSetup in
// Settings.cpp).
void CheckSetup();
// CheckSetup, then the whole file at once through a temporary file in the
// same folder; on failure the old file is left as it was and
// ESetupWriteError is thrown.
void WriteSetup();

// The pen to start drawing with; may set the stock-pen index.
void GetStartPen(TPWMenuItem& pen, std::int32_t& stockIndex);

struct TPWPenEx {
  const char* s;
  TPWPenType p;
};
// Pen types are stored in the file by these names; six types have no row.
extern const std::array<TPWPenEx, 43> PenTypeNames;
QString PenTypeToStr(TPWPenType type);
// Exact, case-sensitive match; pwNone for any other text.
TPWPenType StrToPenType(const QString& name);

// The stock-pen index a pwMarkPtr item carries in its colour.
constexpr std::uint32_t MarkIndex(const TPWMenuItem& item) { return item.PenColor & 0xFFFFFF; }

// --- Environment -----------------------------------------------------------

// Where Setup.ini lives, without a trailing separator.
QString SetupFolder();
QString SetupFilePath();
// The user's pictures folder with one trailing separator; not created.
QString PicturesFolder();
// The folder of the running program (or the test override).
QString ProgramFolder();
// Full path of the sibling whiteboard program beside the executable.
QString AppPath();
bool AppExists();
// Starts the sibling program when present: its path is the program itself,
// no shell, working folder the program folder. Returns whether it started.
bool RunApp();
// Picks the Japanese or English help page of the program's installed tree
// (or build tree).
void ChooseHelpURL();
QString HelpURLFor(bool japanese, const QString& programFolder);
// Opens HelpURL in the user's browser.
void OpenHelpPage();

// Tests point these at temporary folders; an empty text restores the real one.
void SetSetupFolderOverride(const QString& folder);
void SetProgramFolderOverride(const QString& folder);
