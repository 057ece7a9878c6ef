// Pen and marker strokes with an arrow head at the end, or at both ends.
#include <QPainter>

#include "FreehandKind.h"
#include "Kinds.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokeRender.h"

namespace {

class TArrowKind : public TFreehandKind {
 public:
  QRectF Bounds(const TStrokeData& d, const TRenderStyle& style) const override {
    const qreal m = StrokeMargin(d.Menu.PenThickness);
    return Path(d, Drawn(d, style), style).boundingRect().adjusted(-m, -m, m, m);
  }

 protected:
  // Heads are made anew at every rendering; the record keeps the stroke's points.
  QPainterPath Path(const TStrokeData& d, const TPolygon& drawn, const TRenderStyle& style) const override {
    return ArrowPath(drawn, HasStartHead(d.Menu.PenType), d.Menu.PenThickness, style.ArrowSize);
  }
};

}  // namespace

const TStrokeKind& ArrowKind() {
  static const TArrowKind kind;
  return kind;
}
