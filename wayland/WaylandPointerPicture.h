#pragma once

// Qt's pointer picture of the widget under the pointer, shown on the
// layer surface: Qt on its offscreen platform shows none itself.

#include <QCursor>
#include <QPoint>

#include "platform/WaylandConnection.h"

class QWidget;

class TWaylandPointerPicture {
 public:
  explicit TWaylandPointerPicture(TLayerSurface& surface) : FSurface(surface) {}
  // The picture of that widget, an override cursor first; the arrow for none.
  void Follow(const QWidget* under);
  // The next Follow sets the picture even when it is the same (the output's
  // scale changed).
  void Forget() {
    FShape = -1;
    FPicture = 0;
  }

 private:
  TLayerSurface& FSurface;
  int FShape = -1;
  qint64 FPicture = 0;  // the picture's cache key, when one is shown
  QPoint FHot;
};
