// The pointer state machine: press, move, release and leave, the live
// drawing of a stroke in progress and its commit.
#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "StrokeGeometry.h"
#include "StrokePen.h"

bool TPWEngine::Press(QPointF pos) {
  if (!FCanWrite) return false;
  if (FCrPen.PenType == pwLasso && !FSelLines.empty() && FSelRF.contains(pos)) {
    FIsDown = 3;
    FSelGrXY0 = pos;
    FSelGrXY1 = pos;
    FSelPosition = FSelImagePos;
    return true;
  }
  FIsDown = 1;
  FIsPainting = false;
  P0 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
  // The backup is the display as composed now: background and pen layer,
  // which stay unchanged until the release, so it needs no copy.
  FLiveBackground = Background();
  FCrPoints.clear();
  RbCount = 0;
  FCrPoints.push_back(P0);
  FLiveDrawn = 0;
  FDashPos = 0;
  FBands = TRainbowBands(static_cast<float>(FCrPen.PenThickness * FScale));
  FLiveTiles = TTileSet(FDLnBitmap.size());
  return true;
}

void TPWEngine::Move(QPointF pos) {
  if (FIsDown == 3) {
    FSelGrXY1 = pos;
    FSelImagePos = FSelPosition + (FSelGrXY1 - FSelGrXY0);
    return;
  }
  if (FIsDown != 1) return;
  P1 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
  if (P1 == P0) return;
  FCrPoints.push_back(P1);
  if (!FIsPainting) {
    FIsPainting = true;
    LivePreview();
    FIsPainting = false;
  }
  P0 = P1;
}

// The moves are taken as Move takes each while a live drawing is under
// way: their points join the stroke, and the one drawing after them shows
// all of them, as the next move's drawing would.
void TPWEngine::MoveBatch(std::span<const QPointF> positions) {
  if (FIsDown != 1 || FIsPainting) {
    for (const QPointF& pos : positions) Move(pos);
    return;
  }
  FIsPainting = true;
  for (const QPointF& pos : positions) Move(pos);
  LivePreview();
  FIsPainting = false;
}

void TPWEngine::Release(QPointF pos) {
  if (FIsDown == 1) {
    P1 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
    // A press without movement leaves a dot.
    if (FCrPoints.size() == 1) FCrPoints.push_back(P1);
    CommitStroke();
  } else if (FIsDown == 3) {
    EndSelectionDrag();
  }
  FIsDown = 0;
}

void TPWEngine::Leave() {
  if (FIsDown == 1) {
    CommitStroke();
  } else if (FIsDown == 3) {
    EndSelectionDrag();
  }
  FIsDown = 0;
}

void TPWEngine::LivePreview() {
  const int n = static_cast<int>(FCrPoints.size());
  if (n < 2) return;
  if (FCrPen.PenType == pwLasso) {
    // The dotted trail is drawn onto the display and stays until the next
    // compose; each segment not drawn yet, one by one.
    const float w = static_cast<float>(2 * FScale);
    QPainter p(&FDisplay);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setOpacity(0.5);
    p.setPen(StrokePen(0xFF000000, w, sdDot));
    for (int i = std::max(FLiveDrawn, 0); i < n - 1; ++i) {
      const TPointF a = ToDevice(FCrPoints[i]), b = ToDevice(FCrPoints[i + 1]);
      p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
      FDirty += PixelRect(GrownBounds({a, b}, StrokeMargin(w)), FDisplay.size());
    }
    FLiveDrawn = n - 1;
    return;
  }
  if (!IsStrokeKind(FCrPen.PenType)) return;
  LiveSegments(FLiveDrawn, n - 1);
  FLiveDrawn = n - 1;
}

// The live stroke is kept on the scratch layer, one new segment at a time,
// and blended over the backup only where the new segments lie: the pixels of
// the whole stroke redrawn over the backup, at the cost of the new segments.
// Segments of one colour are written with the Source mode, so where they
// overlap the colour is not laid on twice; rainbow segments are opaque and
// the layer is blended at the stroke's opacity, as the whole stroke is.
void TPWEngine::LiveSegments(int from, int to) {
  const TPWPenType type = FCrPen.PenType;
  const bool rainbow = IsRainbow(type);
  const float w = static_cast<float>(FCrPen.PenThickness * FScale);
  const qreal margin = StrokeMargin(w);
  QRect changed;
  {
    QPainter s(&FDLnBitmap);
    s.setRenderHint(QPainter::Antialiasing, true);
    if (!rainbow) {
      s.setCompositionMode(QPainter::CompositionMode_Source);
      s.setOpacity(type == pwEr ? 0.5 : StrokeOpacity(type, FStyle.MkOpacity));
    }
    for (int i = from; i < to; ++i) {
      const TPointF a = ToDevice(FCrPoints[i]), b = ToDevice(FCrPoints[i + 1]);
      QPen pen;
      if (rainbow) {
        // Each band's dash starts afresh, as the committed stroke's does.
        const TRainbowBands::TSegment seg = FBands.Add(a, b);
        pen = StrokePen(RainbowSegmentColor(seg.Band), w, FCrPen.PenDash);
        if (FCrPen.PenDash != sdSolid) pen.setDashOffset(seg.Along / std::max<qreal>(w, 1));
      } else if (type == pwEr) {
        pen = StrokePen(0xFFFFFFFF, w, sdSolid);
      } else {
        pen = StrokePen(FCrPen.PenColor, w, FCrPen.PenDash);
        if (FCrPen.PenDash != sdSolid) {
          // Carry the dash phase on so that the segments read as one path.
          pen.setDashOffset(FDashPos / std::max<qreal>(w, 1));
          FDashPos += SegmentLength(a, b);
        }
      }
      s.setPen(pen);
      s.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
      changed |= PixelRect(GrownBounds({a, b}, margin), FDLnBitmap.size());
    }
  }
  if (changed.isEmpty()) return;
  for (int i = from; i < to; ++i) {
    FLiveTiles.Add(PixelRect(GrownBounds({ToDevice(FCrPoints[i]), ToDevice(FCrPoints[i + 1])}, margin),
                             FDLnBitmap.size()));
  }

  QPainter p(&FDisplay);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(changed, QColor::fromRgba(FLiveBackground));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.drawImage(changed.topLeft(), FPnBitmap, changed);
  if (rainbow) p.setOpacity(StrokeOpacity(type, FStyle.MkOpacity));
  p.drawImage(changed.topLeft(), FDLnBitmap, changed);
  FDirty += changed;
}

void TPWEngine::ClearLive() {
  for (const QRect& r : FLiveTiles.Region()) ClearRect(FDLnBitmap, r);
}

void TPWEngine::CommitStroke() {
  if (FCrPen.PenType == pwLasso) {
    CommitLasso();
    return;
  }
  // Only the tiles the live stroke reached are cleared and composed again.
  ClearLive();
  TTileSet changed = FLiveTiles;
  FLiveTiles = TTileSet(FDLnBitmap.size());
  const auto compose = [this](const TTileSet& tiles) {
    for (const QRect& r : tiles.Region()) Compose(r);
  };
  if (!IsStrokeKind(FCrPen.PenType) || FCrPoints.empty()) {
    compose(changed);
    return;
  }
  // A stroke drawn after a change of smoothing or opacity lies on a layer of
  // the old look: kept changes would no longer match a rebuild.
  if (!LayerIsCurrent()) {
    DropAllPatches(true);
    FLayerExact = false;
  }
  FHistory.AddStroke(FCrPen, FCrPoints);
  const int r = FHistory.p();
  DropPatchesFrom(r);
  TTileSet tiles(FPnBitmap.size());
  const TPWMenuItem pen = ToDevice(FCrPen);
  const TPolygon points = ToDevice(FCrPoints);
  AddRecordTiles(tiles, pen, points, CurrentStyle());
  if (FLayerExact) StorePatch(r, TLayerPatch::Capture(FPnBitmap, tiles));
  RenderRecord(FPnBitmap, FDLnBitmap, pen, points, CurrentStyle());
  changed.Add(tiles);
  compose(changed);
  MaybeCheckpoint();
}
