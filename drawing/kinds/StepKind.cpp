// Numbered step badges: a disc in the pen's colour, its number in a
// contrasting colour; the number is kept in the record.
#include <algorithm>

#include "Glyphs.h"
#include "Kinds.h"
#include "ShapeKind.h"

namespace {

qreal Diameter(float thickness) { return 3.0 * thickness; }

QRectF Disc(const TStrokeData& d) {
  const TPointF c = d.Points.front();
  const qreal r = Diameter(d.Menu.PenThickness) / 2;
  return QRectF(c.x - r, c.y - r, 2 * r, 2 * r);
}

class TStepKind : public TShapeKind {
 public:
  TInput Input() const override { return TInput::Click; }
  TPolygon Recorded(const TPolygon& taken, bool) const override {
    if (taken.empty()) return taken;
    return {taken.front()};
  }
  QRectF Bounds(const TStrokeData& d, const TRenderStyle&) const override { return Disc(d).adjusted(-2, -2, 2, 2); }
  TPolygon LassoPoints(const TStrokeData& d) const override { return EllipseExtremes(Disc(d)); }
  QPainterPath Outline(const TStrokeData& d) const override { return EllipsePath(Disc(d)); }

 protected:
  bool PaintedApart() const override { return true; }
  void Paint(QPainter& p, const TStrokeData& d) const override {
    const QRectF disc = Disc(d);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgba(d.Menu.PenColor));
    p.drawEllipse(disc);
    if (d.Text.empty()) return;
    // Digits half the disc high, narrowed to fit when there are many.
    QPainterPath number = GlyphPath(d.Text, disc.height() * 0.7);
    QRectF b = number.boundingRect();
    const qreal room = disc.width() * 0.72;
    if (b.width() > room) {
      const qreal k = room / b.width();
      number = QTransform::fromScale(k, k).map(number);
      b = number.boundingRect();
    }
    number.translate(disc.center() - b.center());
    p.fillPath(number, QColor::fromRgba(ContrastColor(d.Menu.PenColor)));
  }
};

}  // namespace

const TStrokeKind& StepKind() {
  static const TStepKind kind;
  return kind;
}
