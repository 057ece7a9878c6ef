// The lasso: making a selection, lifting its strokes off the pen layer,
// dragging it and putting it back as a move record.
#include "PWEngine.h"

#include <QPainter>
#include <algorithm>

#include "StrokeGeometry.h"
#include "StrokePen.h"

// The drag adds up in the pending move; the strokes move at the commit.
void TPWEngine::EndSelectionDrag() {
  const QPointF d = FSelGrXY1 - FSelGrXY0;
  FSelTrans = TAr3x3::Translation(static_cast<float>(d.x()), static_cast<float>(d.y())) * FSelTrans;
  FSelRF.translate(d);
}

bool TPWEngine::Skipped(int i) const {
  return std::binary_search(FSelLines.begin(), FSelLines.end(), static_cast<std::int32_t>(i));
}

void TPWEngine::SettleSelection() {
  const bool had = !FSelLines.empty();
  const int before = FHistory.p();
  // The lifted strokes go back first: the layer is then the drawing without
  // the move, which is what the move's kept change must hold.
  if (had && FSelBefore) FSelBefore->Restore(FPnBitmap);
  const bool restored = had && FSelBefore.has_value();
  FHistory.AddMove(FSelTrans, FSelLines);
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  FSelBefore.reset();
  if (!had) return;
  if (!restored) {
    ReplayAll();
    return;
  }
  if (FHistory.p() == before) return;  // dropped where it was picked up
  const int m = FHistory.p();
  DropPatchesFrom(m);
  const TTileSet tiles = RecordTiles(m);
  if (FLayerExact) StorePatch(m, TLayerPatch::Capture(FPnBitmap, tiles));
  ReplayTiles(tiles);
  MaybeCheckpoint();
}

void TPWEngine::CommitLasso() {
  const bool had = !FSelLines.empty();
  SettleSelection();
  if (!LayerIsCurrent()) ReplayAll();
  if (FCrPoints.size() >= 3) {
    for (int i = 0; i <= FHistory.p(); ++i) {
      if (!FHistory.Rec()[i].IsStroke()) continue;
      const TPWRec& rec = FHistory.Rec()[i];
      const TPolygon resolved = FHistory.ResolvedPoints(i);
      const TPolygon pts = StrokeKindOf(rec.Menu.PenType)->LassoPoints({rec.Menu, resolved, rec.Text});
      const bool inside = std::all_of(pts.begin(), pts.end(), [&](const TPointF& q) {
        return InsidePolygon(FCrPoints, q.x, q.y);
      });
      if (inside) FSelLines.push_back(i);
    }
  }
  BuildSelection();
  if (!FSelLines.empty()) {
    // Lift the selected strokes off the layer where they lie, keeping what
    // was there to put back if they are dropped unmoved.
    TTileSet tiles(FPnBitmap.size());
    for (const std::int32_t i : FSelLines) tiles.Add(StrokeTiles(i, FHistory.p()));
    FSelBefore = TLayerPatch::Capture(FPnBitmap, tiles);
    ReplayTiles(tiles);
  }
  (void)had;
  // Composing the whole display also removes the dotted trail.
  PWImageBitmapUpdate();
}

void TPWEngine::BuildSelection() {
  FSelPathData = QPainterPath();
  FSelTrans = TAr3x3::Identity();
  if (FSelLines.empty()) {
    FSelRF = QRectF(0, 0, 0, 0);
    return;
  }
  for (const std::int32_t i : FSelLines) {
    const TPWRec& rec = FHistory.Rec()[i];
    const TPolygon points = FHistory.ResolvedPoints(i);
    FSelPathData.addPath(StrokeKindOf(rec.Menu.PenType)->Outline({rec.Menu, points, rec.Text}));
  }
  const qreal w = FCrPen.PenThickness;
  FSelRF = FSelPathData.boundingRect().adjusted(-w, -w, w, w);
  FSelImagePos = FSelRF.topLeft();
  FSelPathData.translate(-FSelRF.topLeft());
}

void TPWEngine::LassoUpdate() {
  EndText();
  if (FCrPen.PenType != pwLasso) return;
  const bool had = !FSelLines.empty();
  SettleSelection();
  if (!LayerIsCurrent()) {
    ReplayAll();
    PWImageBitmapUpdate();
  } else if (had) {
    PWImageBitmapUpdate();
  }
}
