// Rectangles: the outline of the dragged box in the pen, or the box filled
// at marker opacity (an area highlight).
#include "Kinds.h"
#include "ShapeKind.h"
#include "drawing/StrokePen.h"

namespace {

class TRectKind : public TBoxKind {
 public:
  TPolygon LassoPoints(const TStrokeData& d) const override { return BoxCorners(Box(d)); }
  QPainterPath Outline(const TStrokeData& d) const override { return BoxPath(Box(d)); }

 protected:
  void Paint(QPainter& p, const TStrokeData& d) const override {
    if (Filled(d)) {
      p.fillRect(Box(d), QColor::fromRgba(d.Menu.PenColor));
      return;
    }
    p.setPen(StrokePen(d.Menu.PenColor, d.Menu.PenThickness, d.Menu.PenDash));
    p.setBrush(Qt::NoBrush);
    p.drawPath(Outline(d));
  }
};

}  // namespace

const TStrokeKind& RectKind() {
  static const TRectKind kind;
  return kind;
}
