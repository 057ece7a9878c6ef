#pragma once

#include <QRect>
#include <QSize>
#include <algorithm>
#include <cmath>

// Logical pixels to device pixels at a device pixel ratio. Halves round away
// from zero, as the toolkit sizes a window and its backing store, so that a
// layer, an input shape or a captured part of the screen covers exactly the
// device pixels the window paints. Rectangles round their edges, so that
// neighbouring rectangles neither overlap nor leave a gap.
inline int DevicePixels(qreal logical, qreal ratio) {
  return static_cast<int>(std::lround(logical * ratio));
}

inline QSize DeviceSize(QSizeF logical, qreal ratio) {
  return {std::max(DevicePixels(logical.width(), ratio), 0),
          std::max(DevicePixels(logical.height(), ratio), 0)};
}

inline QRect DeviceRect(const QRect& logical, qreal ratio) {
  const int x0 = DevicePixels(logical.x(), ratio), y0 = DevicePixels(logical.y(), ratio);
  return {x0, y0, DevicePixels(logical.x() + logical.width(), ratio) - x0,
          DevicePixels(logical.y() + logical.height(), ratio) - y0};
}
