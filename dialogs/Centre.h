#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <cmath>

// The top-left corner of a window of the given size centred on a rectangle,
// halves rounded to even.
inline QPoint CentredOn(const QRect& on, const QSize& size) {
  return {on.left() + int(std::nearbyint((on.width() - size.width()) / 2.0)),
          on.top() + int(std::nearbyint((on.height() - size.height()) / 2.0))};
}
