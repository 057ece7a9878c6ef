#pragma once

#include <QImage>
#include <initializer_list>

#include "drawing/PWEngine.h"

// A stroke drawn on the engine by press, moves and release.
inline void Stroke(TPWEngine& e, const TPWMenuItem& pen, std::initializer_list<QPointF> pts) {
  e.SetCrPen(pen);
  const QPointF* p = pts.begin();
  e.Press(*p);
  for (++p; p != pts.end(); ++p) e.Move(*p);
  e.Release(*(pts.end() - 1));
}

// An engine of the given size in write mode.
inline void Ready(TPWEngine& e, int w = 400, int h = 300) {
  e.Resize(QSizeF(w, h));
  e.SetCanWrite(true);
}

inline bool AllTransparent(const QImage& img) {
  for (int y = 0; y < img.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      if (line[x] != 0) return false;
    }
  }
  return true;
}
