#pragma once

// The toolkit's pointer picture of the widget under the pointer, shown on the
// overlay surface: Qt on its offscreen platform shows none itself.

#include <QCursor>
#include <QPoint>

#include "platform/WaylandOverlay.h"

class QWidget;

class TWaylandPointerPicture {
 public:
  explicit TWaylandPointerPicture(TWaylandOverlay& overlay) : FOverlay(overlay) {}
  // The picture of that widget, an override cursor first; the arrow for none.
  void Follow(const QWidget* under);
  // The next Follow sets the picture even when it is the same (the output's
  // scale changed).
  void Forget() {
    FShape = -1;
    FPicture = 0;
  }

 private:
  TWaylandOverlay& FOverlay;
  int FShape = -1;
  qint64 FPicture = 0;  // the picture's cache key, when one is shown
  QPoint FHot;
};
