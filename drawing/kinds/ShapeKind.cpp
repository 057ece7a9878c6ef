#include "ShapeKind.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

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
  const QImage apart = Apart(d, rect);
  QPainter p(&target.Pen);
  p.setOpacity(opacity);
  for (const QRect& part : target.Parts) p.drawImage(part.topLeft(), apart, part.translated(-rect.topLeft()));
}

QImage TShapeKind::Apart(const TStrokeData& d, const QRect& rect) const {
  // The font's glyph cache does not always give a letter the same pixels
  // twice; a record must come out alike at every rebuild, so what was drawn
  // is kept and used again.
  const TPointF at = d.Points.front();
  const QString key = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 ")
                          .arg(int(d.Menu.PenType))
                          .arg(d.Menu.PenColor)
                          .arg(double(d.Menu.PenThickness), 0, 'g', 9)
                          .arg(double(at.x - rect.left()), 0, 'g', 9)
                          .arg(double(at.y - rect.top()), 0, 'g', 9)
                          .arg(rect.width())
                          .arg(rect.height()) +
                      QString::fromUtf8(d.Text.data(), static_cast<qsizetype>(d.Text.size()));
  static std::mutex guard;
  static std::unordered_map<QString, QImage> kept;
  {
    const std::lock_guard<std::mutex> lock(guard);
    if (auto it = kept.find(key); it != kept.end()) return it->second;
  }
  QImage apart(rect.size(), QImage::Format_ARGB32_Premultiplied);
  apart.fill(0);
  {
    QPainter a(&apart);
    a.setRenderHint(QPainter::Antialiasing, true);
    a.translate(-rect.topLeft());
    Paint(a, d);
  }
  const std::lock_guard<std::mutex> lock(guard);
  if (kept.size() > 256) kept.clear();
  return kept.emplace(key, apart).first->second;
}

void TShapeKind::PaintLive(QPainter& p, const TStrokeData& d, const TRenderStyle& style) const {
  if (PaintedApart() && p.device()) {
    // Also far cheaper: outlining glyphs on a painter of a whole screen
    // costs the rasterizer buffers of the screen's size.
    const QRect rect = PixelRect(Bounds(d, style), QSize(p.device()->width(), p.device()->height()));
    if (rect.isEmpty()) return;
    p.save();
    p.setOpacity(StrokeOpacity(d.Menu.PenType, style.MkOpacity));
    p.drawImage(rect.topLeft(), Apart(d, rect));
    p.restore();
    return;
  }
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

TPolygon BoxCorners(const QRectF& b) {
  return {{float(b.left()), float(b.top())},
          {float(b.right()), float(b.top())},
          {float(b.right()), float(b.bottom())},
          {float(b.left()), float(b.bottom())}};
}

TPolygon EllipseExtremes(const QRectF& b) {
  const QPointF c = b.center();
  return {{float(c.x()), float(b.top())},
          {float(b.right()), float(c.y())},
          {float(c.x()), float(b.bottom())},
          {float(b.left()), float(c.y())}};
}

QPainterPath BoxPath(const QRectF& b) {
  QPainterPath path;
  path.addRect(b);
  return path;
}

QPainterPath EllipsePath(const QRectF& b) {
  QPainterPath path;
  path.addEllipse(b);
  return path;
}
