// Straight lines from the press to the release, in the pen or at marker
// opacity; Shift snaps them to steps of 15 degrees.
#include <cmath>
#include <numbers>

#include "FreehandKind.h"
#include "Kinds.h"
#include "ShapeKind.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "drawing/StrokeRender.h"

namespace {

class TLineKind : public TShapeKind {
 public:
  TInput Input() const override { return TInput::Drag; }

  TPolygon Recorded(const TPolygon& taken, bool constrain) const override {
    if (taken.empty()) return taken;
    const TPointF a = taken.front();
    TPointF b = taken.back();
    if (constrain) {
      const double dx = b.x - a.x, dy = b.y - a.y;
      const double step = std::numbers::pi / 12;
      const double angle = std::round(std::atan2(dy, dx) / step) * step;
      const double length = std::hypot(dx, dy);
      b = {static_cast<float>(a.x + length * std::cos(angle)), static_cast<float>(a.y + length * std::sin(angle))};
    }
    return {a, b};
  }

  QRectF Bounds(const TStrokeData& d, const TRenderStyle&) const override {
    return GrownBounds(d.Points, StrokeMargin(d.Menu.PenThickness));
  }

 protected:
  void Paint(QPainter& p, const TStrokeData& d) const override {
    const TPointF a = d.Points.front(), b = d.Points.back();
    p.setPen(StrokePen(d.Menu.PenColor, d.Menu.PenThickness, d.Menu.PenDash));
    StrokeLine(p, QPointF(a.x, a.y), QPointF(b.x, b.y));
  }
};

}  // namespace

const TStrokeKind& LineKind() {
  static const TLineKind kind;
  return kind;
}
