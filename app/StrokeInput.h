#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/Platform.h"

class QImage;
class QRect;
class QSocketNotifier;
class TPWImage;

// Strokes the window system reads past the toolkit (where it can), handed to
// the drawing surface of the window they came from: presses and releases as
// the toolkit's own events, so that whatever watches those still sees them,
// and the moves between them in batches of all that waited. While a surface
// holds its repaint for the next frame's mark, reports are left to wait and
// read just before it: one read, one live drawing and one frame for all.
class TStrokeInput : public QObject {
 public:
  explicit TStrokeInput(TWindowSystem& windowSystem, QObject* parent = nullptr);
  ~TStrokeInput() override;

  // The surface a press over the native window would draw on; nullptr when
  // none of the program's (which then leaves the press to the toolkit).
  static TPWImage* SurfaceOf(TNativeWindow window);

 private:
  void Deliver();
  void Resume();
  void LeaveOthers(TPWImage& surface, QPoint inWindow);
  std::function<bool(const QRect&, const QImage&, const QRect&)> DirectPainter(TPWImage* surface);

  TWindowSystem& FWindowSystem;
  std::unique_ptr<QSocketNotifier> FNotifier;
  Qt::MouseButtons FHeld;
  bool FWaiting = false;
};
