#pragma once

// What the overlay runs on, chosen before the application object exists:
// its own layer surface on a Wayland compositor that offers one, else an X11
// window (through XWayland on a Wayland desktop) whatever toolkit plugins are
// installed, unless the user names the toolkit's platform.

#include <QRect>
#include <QString>
#include <QTemporaryFile>
#include <functional>
#include <memory>
#include <vector>

#include "app/CommandLine.h"
#include "platform/SessionDisplays.h"

class TWaylandOverlay;

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

struct TStartedBackend {
  TStartedBackend();
  TStartedBackend(TStartedBackend&&) noexcept;
  ~TStartedBackend();
  std::unique_ptr<TWaylandOverlay> Overlay;  // the layer surface when chosen
  // Those of the other outputs, each on a connection of its own, and their
  // places among the toolkit's screens.
  std::vector<std::unique_ptr<TWaylandOverlay>> Others;
  std::vector<QRect> OtherPlaces;
  // The toolkit's screens, of the surfaces' sizes and scale; read when the
  // application object is made.
  std::unique_ptr<QTemporaryFile> ScreenConfig;
};

// The choice from the environment and the command line; sets the toolkit's
// platform accordingly and prints the notice.
TStartedBackend StartBackend(const TCommandLine& line);
