// Text placed by a click and typed: the pen's colour with a thin outline in
// a contrasting colour, legible on any background.
#include "TextKind.h"

#include "Glyphs.h"
#include "Kinds.h"
#include "ShapeKind.h"

namespace {

qreal OutlineWidth(float thickness) { return std::max(0.25 * thickness, 0.5); }

QPainterPath Placed(const TStrokeData& d) {
  const TPointF a = d.Points.front();
  return GlyphPath(d.Text, TextSize(d.Menu.PenThickness)).translated(a.x, a.y);
}

class TTextKind : public TShapeKind {
 public:
  TInput Input() const override { return TInput::Typed; }
  bool Draws(const TStrokeData& d) const override { return !d.Points.empty() && !d.Text.empty(); }

  QRectF Bounds(const TStrokeData& d, const TRenderStyle&) const override {
    const qreal m = OutlineWidth(d.Menu.PenThickness) / 2 + 2;
    return Placed(d).boundingRect().adjusted(-m, -m, m, m);
  }
  TPolygon LassoPoints(const TStrokeData& d) const override {
    const QRectF b = Placed(d).boundingRect();
    return {{float(b.left()), float(b.top())},
            {float(b.right()), float(b.top())},
            {float(b.right()), float(b.bottom())},
            {float(b.left()), float(b.bottom())}};
  }
  QPainterPath Outline(const TStrokeData& d) const override {
    QPainterPath path;
    path.addRect(Placed(d).boundingRect());
    return path;
  }

 protected:
  bool PaintedApart() const override { return true; }
  void Paint(QPainter& p, const TStrokeData& d) const override {
    const QPainterPath path = Placed(d);
    p.setPen(QPen(QColor::fromRgba(ContrastColor(d.Menu.PenColor)), OutlineWidth(d.Menu.PenThickness),
                  Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.fillPath(path, QColor::fromRgba(d.Menu.PenColor));
  }
};

}  // namespace

QLineF TextCaret(const TPWMenuItem& pen, TPointF anchor, std::string_view text) {
  const qreal size = TextSize(pen.PenThickness);
  const qreal spacing = GlyphLineSpacing(size);
  const qreal x = anchor.x + GlyphLastLineAdvance(text, size) + size * 0.05;
  const qreal top = anchor.y + spacing * (GlyphLineCount(text) - 1);
  return QLineF(x, top, x, top + spacing);
}

const TStrokeKind& TextKind() {
  static const TTextKind kind;
  return kind;
}
