#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Platform.h"

class QSocketNotifier;
class TPortalShortcuts;

// The key of a shortcut's portable text ("Ctrl+Alt+D"); nullopt for text
// that is not one key with modifiers.
std::optional<THotKey> HotKeyOfText(const QString& text);

// The shortcuts of the HotKeys settings, each beside its keypad key: a press
// is handed on as that key's virtual-key code.
class TShortcuts : public QObject {
  Q_OBJECT

 public:
  TShortcuts(TWindowSystem& windowSystem, std::function<void(int virtualKey)> press,
             QObject* parent = nullptr);
  ~TShortcuts() override;

  // Takes the shortcuts the settings name now, instead of those before; one
  // that cannot be had is left out with one line on standard error.
  void Apply();

  // From now on the shortcuts go to the desktop's GlobalShortcuts portal
  // rather than to the window system, which cannot grab keys (Wayland).
  void UseDesktopPortal();

 private:
  void Deliver();
  void ApplyThroughPortal();

  TWindowSystem& FWindowSystem;
  std::function<void(int)> FPress;
  std::unique_ptr<QSocketNotifier> FNotifier;
  bool FThroughPortal = false;
  std::unique_ptr<TPortalShortcuts> FPortal;
};
