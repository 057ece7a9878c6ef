// The eraser: clears the pen layer under its path.
#include <QPainter>

#include "FreehandKind.h"
#include "Kinds.h"
#include "drawing/StrokeGeometry.h"
#include "drawing/StrokePen.h"
#include "drawing/StrokeRender.h"

namespace {

class TEraserKind : public TFreehandKind {
 public:
  void Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const override {
    // A mask: 0 under the eraser, 255 away from it, grey at the rim.
    target.FillScratch(0xFFFFFFFF);
    {
      QPainter s;
      target.Begin(s, target.Scratch);
      StrokeRuns(s, PolylinePath(Drawn(d, style)), StrokePen(0xFF000000, d.Menu.PenThickness, sdSolid));
    }
    for (const QRect& part : target.Parts) AndMask(target.Pen, target.Scratch, part);
    target.FillScratch(0);
  }

  QPen LivePen(const TPWMenuItem& pen, const TLiveSegment&) const override {
    return StrokePen(0xFFFFFFFF, pen.PenThickness, sdSolid);
  }
  qreal LiveOpacity(const TPWMenuItem&, const TRenderStyle&) const override { return 0.5; }

 protected:
  // The eraser's path is never smoothed.
  TPolygon Drawn(const TStrokeData& d, const TRenderStyle&) const override { return d.Points; }
};

}  // namespace

const TStrokeKind& EraserKind() {
  static const TEraserKind kind;
  return kind;
}
