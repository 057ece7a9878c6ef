#pragma once

// What the overlay runs on, chosen before the application object exists:
// its own layer surface on a Wayland compositor that offers one, else an X11
// window (through XWayland on a Wayland desktop) whatever toolkit plugins are
// installed, unless the user names the toolkit's platform.

#include <QString>
#include <functional>
#include <memory>

#include "app/CommandLine.h"
#include "platform/Platform.h"
#include "platform/SessionDisplays.h"

class QGuiApplication;
class QWidget;
class TWaylandBackend;

struct TBackendFacts {
  QString Requested;              // KORIVAN_BACKEND: "x11", "wayland" or empty
  bool PlatformArgument = false;  // -platform on the command line
  bool PlatformVariable = false;  // QT_QPA_PLATFORM, set by the user
  TSessionDisplays Displays;
};

struct TBackendChoice {
  // Toolkit: whatever the toolkit picks, as the user asked or for want of
  // anything better.
  enum TKind { LayerSurface, X11, Toolkit } Kind = Toolkit;
  QString Notice;  // for standard error when the user should know; empty for none
};

// openOverlay tries the layer surface: empty when it is there, else why not.
TBackendChoice ChooseBackend(const TBackendFacts& facts, const std::function<QString()>& openOverlay);

// The backend chosen, from before the application object exists until the
// end: the layer surfaces (wayland/WaylandBackend.h), else whatever Qt's
// platform gives.
class TBackend {
 public:
  TBackend();
  TBackend(TBackend&&) noexcept;
  ~TBackend();

  // Once the application object is made.
  std::unique_ptr<TWindowSystem> CreateWindowSystem(const QGuiApplication& app);

  // The main window, once made and not yet shown, is the backend's while
  // this lives; it has to go before the window does.
  class TMainWindow {
   public:
    TMainWindow(TBackend& backend, QWidget& window);
    ~TMainWindow();
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;
    // The window was shown for the first time.
    void Shown();

   private:
    TBackend& FBackend;
  };

  // Only the desktop binds keys for a client (Wayland's rule), through its portal.
  bool DesktopBindsKeys() const;

 private:
  friend TBackend StartBackend(const TCommandLine& line);
  // Also where no Wayland code is built, and then always null.
  struct TWaylandDeleter {
    void operator()(TWaylandBackend* backend) const;
  };
  std::unique_ptr<TWaylandBackend, TWaylandDeleter> FWayland;
};

// The choice from the environment and the command line, opening what it
// chose; sets Qt's platform accordingly and prints the notice.
TBackend StartBackend(const TCommandLine& line);
