#pragma once

// A custom keyboard shortcut of the GNOME desktop that runs the program's
// "--toggle": where the overlay is an X11 window on a Wayland desktop, keys
// pressed in the desktop's own windows never reach it, but the desktop's
// shortcuts work everywhere. Kept through gsettings, beside the user's other
// custom shortcuts, which are left as they are.

#include <QString>
#include <QStringList>
#include <optional>

// The settings path of the program's shortcut among the custom ones.
extern const char* const GnomeShortcutPath;

// A string array as gsettings prints it ("['a', 'b']", "@as []"); nullopt
// for anything else.
std::optional<QStringList> ParseGnomeStringArray(const QString& text);
// The array back in the form gsettings reads.
QString FormatGnomeStringArray(const QStringList& items);
// A key sequence in the toolkit's portable text ("Ctrl+Alt+D") as a GNOME
// accelerator ("<Control><Alt>d"); empty for one that has no such form.
QString GnomeAccelerator(const QString& portableText);

// Whether the desktop keeps GNOME's custom shortcuts here (gsettings and
// the schema are there).
bool GnomeShortcutsAvailable();
bool GnomeShortcutInstalled();

// Adds (or updates) the shortcut running command on accelerator; empty when
// done, else why not. Nothing is changed on failure.
QString InstallGnomeShortcut(const QString& command, const QString& accelerator);
// Takes the program's shortcut away again; the others stay.
QString RemoveGnomeShortcut();

// The command that toggles drawing of this program, quoted for the desktop.
QString GnomeToggleCommand(const QString& programPath);
