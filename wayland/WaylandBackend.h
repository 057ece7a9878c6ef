#pragma once

// The program on its own layer surfaces, one per output, on one Wayland
// connection: Qt runs on its offscreen platform with screens of the
// surfaces' sizes and scales, each top-level window is shown on the surface
// of the output it lies on (WaylandPresenter.h), and the window system's
// services go to those surfaces. Opened before the application object
// exists, when the start chooses it (app/BackendChoice.h).

#include <QObject>
#include <QRect>
#include <QSocketNotifier>
#include <QString>
#include <QTemporaryFile>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "platform/WaylandConnection.h"

class QWidget;
class TWaylandOutputs;
class TWaylandPresenter;

class TWaylandBackend {
 public:
  // The connection and the main surface with its first size, on the
  // compositor's choice of output (sway: the focused one), and a surface on
  // each other output for the drawing surfaces of "All screens"; null, with
  // why in error, without a compositor, its layer shell or a size.
  static std::unique_ptr<TWaylandBackend> Open(QString& error);
  ~TWaylandBackend();

  // Sets Qt's platform: offscreen, its screens as big as the surfaces.
  void ConfigureQt();
  // Once the application object is made: the window system's services, in
  // the main screen's device pixels.
  std::unique_ptr<TWindowSystem> CreateWindowSystem();
  // The main window exists: the windows that lie on other outputs go to
  // their surfaces from now on.
  void MainWindowMade(QWidget& window);
  // The main window is shown: from now on on its surface.
  void MainWindowShown();
  // Before the main window goes: nothing is shown of it from now on.
  void MainWindowGone();

 private:
  TWaylandBackend() = default;
  void ReadEvents();

  // Destroyed last: the surfaces are its.
  std::unique_ptr<TWaylandConnection> FConnection;
  std::unique_ptr<TLayerSurface> FMain;
  // Those of the other outputs, and their places among Qt's screens.
  std::vector<std::unique_ptr<TLayerSurface>> FOthers;
  std::vector<QRect> FOtherPlaces;
  // Qt's screens, of the surfaces' sizes and scale; read when the
  // application object is made.
  std::unique_ptr<QTemporaryFile> FScreenConfig;
  QWidget* FWindow = nullptr;
  QObject FContext;  // of the connections to Qt's signals
  std::unique_ptr<QSocketNotifier> FEvents;
  std::unique_ptr<TWaylandOutputs> FOutputs;
  std::unique_ptr<TWaylandPresenter> FPresenter;
};
