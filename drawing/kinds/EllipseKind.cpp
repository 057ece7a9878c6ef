// Ellipses inscribed in the dragged box: outlined in the pen, or filled at
// marker opacity.
#include "Kinds.h"
#include "ShapeKind.h"
#include "drawing/StrokePen.h"

namespace {

class TEllipseKind : public TBoxKind {
 public:
  // The four points where the ellipse touches its box.
  TPolygon LassoPoints(const TStrokeData& d) const override {
    const QRectF b = Box(d);
    const QPointF c = b.center();
    return {{float(c.x()), float(b.top())},
            {float(b.right()), float(c.y())},
            {float(c.x()), float(b.bottom())},
            {float(b.left()), float(c.y())}};
  }
  QPainterPath Outline(const TStrokeData& d) const override {
    QPainterPath path;
    path.addEllipse(Box(d));
    return path;
  }

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
