#pragma once

// The outputs besides the main surface's, each with a layer surface of its
// own: a window of the program's that lies on one (a drawing surface of "All
// screens") is shown there while it is shown, and its clicks and keys come
// from there.

#include <QObject>
#include <QRect>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "app/WaylandPresenter.h"
#include "platform/Platform.h"

class TWaylandOutputs : public QObject {
 public:
  // places: where each overlay's output lies among the toolkit's screens.
  TWaylandOutputs(TWaylandOverlay& main, QWidget& mainWindow, std::vector<std::unique_ptr<TWaylandOverlay>>& others,
                  const std::vector<QRect>& places);
  ~TWaylandOutputs() override;
  // The surface a window of the program's is shown on; null for none.
  TWaylandOverlay* OverlayOf(TNativeWindow window) const;
  // Each output's surface made anew, below the main window's new one: where
  // that one now lies on an output of theirs, the main window is seen and
  // takes the clicks.
  void Remake();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Gone(const QWidget* window);

  struct TOutput {
    TWaylandOverlay* Overlay;
    QRect Place;
    std::unique_ptr<QSocketNotifier> Events;  // read while no window is shown there
    const QWidget* Window;  // compared only: cleared when it hides or goes
    std::unique_ptr<TWaylandPresenter> Presenter;
  };
  TWaylandOverlay& FMain;
  QWidget& FMainWindow;
  std::vector<TOutput> FOutputs;
};
