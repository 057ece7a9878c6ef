// Rainbow pen and marker: bands of the seven colours along the stroke.
#include <QPainter>

#include "FreehandKind.h"
#include "Kinds.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "drawing/StrokeRender.h"

namespace {

class TRainbowKind : public TFreehandKind {
 public:
  // Opaque segments first, then one blend: no darker overlaps at the caps.
  void Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const override {
    const TPWMenuItem& item = d.Menu;
    const TPolygon pts = Drawn(d, style);
    {
      QPainter s;
      target.Begin(s, target.Scratch);
      // Bands come from the points as captured, as the live drawing took
      // them, so that smoothing does not move them.
      const std::vector<int> bands = RainbowBandsOf(d.Points, item.PenThickness);
      const qreal width = std::max<qreal>(item.PenThickness, 1);
      qreal along = 0;
      for (std::size_t i = 0; i + 1 < pts.size(); ++i) {
        if (i > 0 && bands[i] != bands[i - 1]) along = 0;
        QPen segment = StrokePen(RainbowSegmentColor(bands[i]), item.PenThickness, item.PenDash);
        // The dash runs on along a band and starts afresh with the next.
        if (item.PenDash != sdSolid) segment.setDashOffset(along / width);
        along += SegmentLength(pts[i], pts[i + 1]);
        s.setPen(segment);
        StrokeLine(s, QPointF(pts[i].x, pts[i].y), QPointF(pts[i + 1].x, pts[i + 1].y));
      }
    }
    target.BlendScratch(StrokeOpacity(item.PenType, style.MkOpacity));
  }

  // Each band's dash starts afresh, as the committed stroke's does.
  QPen LivePen(const TPWMenuItem& pen, const TLiveSegment& s) const override {
    QPen out = StrokePen(RainbowSegmentColor(s.Band), pen.PenThickness, pen.PenDash);
    if (pen.PenDash != sdSolid) out.setDashOffset(s.Along / std::max<qreal>(pen.PenThickness, 1));
    return out;
  }
  bool Layered() const override { return true; }
};

}  // namespace

const TStrokeKind& RainbowKind() {
  static const TRainbowKind kind;
  return kind;
}
