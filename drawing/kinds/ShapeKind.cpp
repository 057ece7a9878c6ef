#include "ShapeKind.h"

#include <algorithm>
#include <cmath>

#include "drawing/StrokeGeometry.h"
#include "drawing/StrokeRender.h"

void TShapeKind::Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const {
  const qreal opacity = StrokeOpacity(d.Menu.PenType, style.MkOpacity);
  if (!PaintedApart()) {
    QPainter p;
    target.Begin(p, target.Pen);
    p.setOpacity(opacity);
    Paint(p, d);
    return;
  }
  const QRect rect = PixelRect(Bounds(d, style), target.Pen.size());
  if (rect.isEmpty()) return;
  QImage apart(rect.size(), QImage::Format_ARGB32_Premultiplied);
  apart.fill(0);
  {
    QPainter a(&apart);
    a.setRenderHint(QPainter::Antialiasing, true);
    a.translate(-rect.topLeft());
    Paint(a, d);
  }
  QPainter p(&target.Pen);
  p.setOpacity(opacity);
  for (const QRect& part : target.Parts) p.drawImage(part.topLeft(), apart, part.translated(-rect.topLeft()));
}

void TShapeKind::PaintLive(QPainter& p, const TStrokeData& d, const TRenderStyle& style) const {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setOpacity(StrokeOpacity(d.Menu.PenType, style.MkOpacity));
  Paint(p, d);
  p.restore();
}

TPolygon TBoxKind::Recorded(const TPolygon& taken, bool constrain) const {
  if (taken.empty()) return taken;
  const TPointF a = taken.front();
  TPointF b = taken.back();
  if (constrain) {
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float side = std::max(std::abs(dx), std::abs(dy));
    b = {a.x + std::copysign(side, dx), a.y + std::copysign(side, dy)};
  }
  return {a, b};
}

QRectF TBoxKind::Box(const TStrokeData& d) {
  const TPointF a = d.Points.front(), b = d.Points.back();
  return QRectF(QPointF(a.x, a.y), QPointF(b.x, b.y)).normalized();
}

bool TBoxKind::Filled(const TStrokeData& d) { return IsMarkerKind(d.Menu.PenType); }

bool TBoxKind::Draws(const TStrokeData& d) const {
  if (d.Points.empty()) return false;
  const QRectF box = Box(d);
  // An area needs both sides; an outline shows as a line with one.
  return Filled(d) ? box.width() > 0 && box.height() > 0 : box.width() > 0 || box.height() > 0;
}

QRectF TBoxKind::Bounds(const TStrokeData& d, const TRenderStyle&) const {
  const qreal m = Filled(d) ? 2 : StrokeMargin(d.Menu.PenThickness);
  return Box(d).adjusted(-m, -m, m, m);
}

TAlphaColor ContrastColor(TAlphaColor c) {
  const double luma = 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
  return luma > 140 ? 0xFF000000 : 0xFFFFFFFF;
}
