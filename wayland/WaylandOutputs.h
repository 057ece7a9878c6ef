#pragma once

// The outputs besides the main surface's, each with a layer surface of its
// own: a window of the program's that lies on one (a drawing surface of "All
// screens") is shown there while it is shown, and its clicks and keys come
// from there.

#include <QObject>
#include <QRect>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "wayland/WaylandPresenter.h"

class TWaylandOutputs : public QObject {
 public:
  // places: where each surface's output lies among Qt's screens.
  TWaylandOutputs(TWaylandConnection& connection, TLayerSurface& main, QWidget& mainWindow,
                  const std::vector<std::unique_ptr<TLayerSurface>>& others, const std::vector<QRect>& places);
  ~TWaylandOutputs() override;
  // The surface a window of the program's is shown on; null for none.
  TLayerSurface* SurfaceOf(TNativeWindow window) const;
  // Each output's surface made anew, below the main window's new one: where
  // that one now lies on an output of theirs, the main window is seen and
  // takes the clicks.
  void Remake();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Gone(const QWidget* window);

  struct TOutput {
    TLayerSurface* Surface;
    QRect Place;
    const QWidget* Window;  // compared only: cleared when it hides or goes
    std::unique_ptr<TWaylandPresenter> Presenter;
  };
  TWaylandConnection& FConnection;
  TLayerSurface& FMain;
  QWidget& FMainWindow;
  std::vector<TOutput> FOutputs;
};
