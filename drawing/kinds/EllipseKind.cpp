// Ellipses inscribed in the dragged box: outlined in the pen, or filled at
// marker opacity.
#include "Kinds.h"
#include "ShapeKind.h"
#include "drawing/StrokePen.h"

namespace {

class TEllipseKind : public TBoxKind {
 public:
  // The four points where the ellipse touches its box.
  TPolygon LassoPoints(const TStrokeData& d) const override { return EllipseExtremes(Box(d)); }
  QPainterPath Outline(const TStrokeData& d) const override { return EllipsePath(Box(d)); }

 protected:
  void Paint(QPainter& p, const TStrokeData& d) const override {
    if (Filled(d)) {
      p.fillPath(Outline(d), QColor::fromRgba(d.Menu.PenColor));
      return;
    }
    p.setPen(StrokePen(d.Menu.PenColor, d.Menu.PenThickness, d.Menu.PenDash));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Outline(d));
  }
};

}  // namespace

const TStrokeKind& EllipseKind() {
  static const TEllipseKind kind;
  return kind;
}
