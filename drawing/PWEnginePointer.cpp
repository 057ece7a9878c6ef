// The pointer state machine: press, move, release and leave, the live
// drawing of a stroke in progress and its commit.
#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "StrokeGeometry.h"
#include "StrokeKind.h"
#include "StrokePen.h"

namespace {

TStrokeKind::TInput InputOf(TPWPenType type) {
  const TStrokeKind* kind = StrokeKindOf(type);
  return kind ? kind->Input() : TStrokeKind::TInput::Freehand;
}

}  // namespace

bool TPWEngine::Press(QPointF pos) {
  if (!FCanWrite) return false;
  if (FCrPen.PenType == pwLasso && !FSelLines.empty() && FSelRF.contains(pos)) {
    FIsDown = 3;
    FSelGrXY0 = pos;
    FSelGrXY1 = pos;
    FSelPosition = FSelImagePos;
    return true;
  }
  // A click elsewhere ends the text being typed.
  EndText();
  if (FCrPen.PenType == pwLaser) {
    FIsDown = 1;
    P0 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
    FCrPoints.clear();
    AddLaserPoint(P0, true, true);
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
  FLiveConstrained = false;
  FLiveRect = QRect();
  FBands = TRainbowBands(static_cast<float>(FCrPen.PenThickness * FScale));
  FLiveTiles = TTileSet(FDLnBitmap.size());
  switch (InputOf(FCrPen.PenType)) {
    case TStrokeKind::TInput::Click:
      LiveWhole(FCrPoints, std::to_string(NextStep()), false);
      break;
    case TStrokeKind::TInput::Typed:
      FTextOpen = true;
      FTextAt = P0;
      FText.clear();
      LiveWhole({FTextAt}, FText, true);
      break;
    default: break;
  }
  return true;
}

void TPWEngine::Move(QPointF pos) {
  if (FIsDown == 3) {
    FSelGrXY1 = pos;
    FSelImagePos = FSelPosition + (FSelGrXY1 - FSelGrXY0);
    return;
  }
  if (FIsDown != 1) return;
  if (FCrPen.PenType == pwLaser) {
    P1 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
    if (P1 != P0) AddLaserPoint(P1, false, !FIsPainting);
    P0 = P1;
    return;
  }
  const TStrokeKind::TInput input = InputOf(FCrPen.PenType);
  // A badge or a caret stays where it was pressed.
  if (input == TStrokeKind::TInput::Click || input == TStrokeKind::TInput::Typed) return;
  P1 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
  if (P1 == P0) return;
  // A shape keeps its press and the latest position.
  if (input == TStrokeKind::TInput::Drag) FCrPoints.resize(1);
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
  if (FCrPen.PenType == pwLaser) {
    LaserTick();
  } else {
    LivePreview();
  }
  FIsPainting = false;
}

void TPWEngine::Release(QPointF pos) {
  if (FIsDown == 1 && FCrPen.PenType == pwLaser) {
    Move(pos);
  } else if (FIsDown == 1) {
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
  if (FIsDown == 1 && FCrPen.PenType == pwLaser) {
    // The trail fades on its own; it leaves nothing to commit.
  } else if (FIsDown == 1) {
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
  const TStrokeKind* kind = StrokeKindOf(FCrPen.PenType);
  if (!kind) return;
  if (kind->Input() != TStrokeKind::TInput::Freehand) {
    LiveWhole(kind->Recorded(FCrPoints, FConstrain), {}, false);
    return;
  }
  if (FConstrain || FLiveConstrained) {
    // The straight line is drawn anew at every move; letting Shift go
    // brings the stroke back as drawn so far.
    DropLive();
    FLiveDrawn = 0;
    FDashPos = 0;
    FBands = TRainbowBands(static_cast<float>(FCrPen.PenThickness * FScale));
    FLiveConstrained = FConstrain;
  }
  if (FConstrain) {
    LiveSegments({FCrPoints.front(), FCrPoints.back()}, 0, 1);
    return;
  }
  LiveSegments(FCrPoints, FLiveDrawn, n - 1);
  FLiveDrawn = n - 1;
}

// The live stroke is kept on the scratch layer, one new segment at a time,
// and blended over the backup only where the new segments lie: the pixels of
// the whole stroke redrawn over the backup, at the cost of the new segments.
// Segments of one colour are written with the Source mode, so where they
// overlap the colour is not laid on twice; layered kinds (rainbow) write
// opaque segments and the layer is blended at the stroke's opacity.
void TPWEngine::LiveSegments(const TPolygon& points, int from, int to) {
  const TStrokeKind& kind = *StrokeKindOf(FCrPen.PenType);
  const bool layered = kind.Layered();
  const TPWMenuItem pen = ToDevice(FCrPen);
  const qreal margin = StrokeMargin(pen.PenThickness);
  const qreal opacity = kind.LiveOpacity(pen, FStyle);
  QRect changed;
  {
    QPainter s(&FDLnBitmap);
    s.setRenderHint(QPainter::Antialiasing, true);
    if (!layered) {
      s.setCompositionMode(QPainter::CompositionMode_Source);
      s.setOpacity(opacity);
    }
    for (int i = from; i < to; ++i) {
      TLiveSegment seg;
      seg.A = ToDevice(points[i]);
      seg.B = ToDevice(points[i + 1]);
      const TRainbowBands::TSegment band = FBands.Add(seg.A, seg.B);
      seg.Band = band.Band;
      seg.Along = band.Along;
      seg.DashPos = FDashPos;
      FDashPos += SegmentLength(seg.A, seg.B);
      s.setPen(kind.LivePen(pen, seg));
      s.drawLine(QPointF(seg.A.x, seg.A.y), QPointF(seg.B.x, seg.B.y));
      const QRect r = PixelRect(GrownBounds({seg.A, seg.B}, margin), FDLnBitmap.size());
      changed |= r;
      FLiveTiles.Add(r);
    }
  }
  if (changed.isEmpty()) return;
  QPainter p(&FDisplay);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(changed, QColor::fromRgba(FLiveBackground));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.drawImage(changed.topLeft(), FPnBitmap, changed);
  if (layered) p.setOpacity(opacity);
  p.drawImage(changed.topLeft(), FDLnBitmap, changed);
  FDirty += changed;
}

void TPWEngine::ClearLive() {
  for (const QRect& r : FLiveTiles.Region()) ClearRect(FDLnBitmap, r);
}

void TPWEngine::DropLive() {
  const QRegion was = FLiveTiles.Region();
  ClearLive();
  FLiveTiles = TTileSet(FDLnBitmap.size());
  FLiveRect = QRect();
  for (const QRect& r : was) Compose(r);
}

void TPWEngine::CommitStroke() {
  if (FCrPen.PenType == pwLasso) {
    CommitLasso();
    return;
  }
  const TStrokeKind* kind = StrokeKindOf(FCrPen.PenType);
  // The text stays open, its caret shown, until it is ended.
  if (kind && kind->Input() == TStrokeKind::TInput::Typed) return;
  const std::string text = kind && kind->Input() == TStrokeKind::TInput::Click ? std::to_string(NextStep()) : "";
  AddRecord(kind ? kind->Recorded(FCrPoints, FConstrain) : TPolygon{}, text);
}

void TPWEngine::AddRecord(const TPolygon& recorded, const std::string& text) {
  // Only the tiles the live stroke reached are cleared and composed again.
  ClearLive();
  TTileSet changed = FLiveTiles;
  FLiveTiles = TTileSet(FDLnBitmap.size());
  FLiveRect = QRect();
  const auto compose = [this](const TTileSet& tiles) {
    for (const QRect& r : tiles.Region()) Compose(r);
  };
  const TStrokeKind* kind = StrokeKindOf(FCrPen.PenType);
  if (!kind || recorded.empty() || !kind->Draws({FCrPen, recorded, text})) {
    compose(changed);
    return;
  }
  // A stroke drawn after a change of smoothing or opacity lies on a layer of
  // the old look: kept changes would no longer match a rebuild.
  if (!LayerIsCurrent()) {
    DropAllPatches(true);
    FLayerExact = false;
  }
  FHistory.AddStroke(FCrPen, recorded, text);
  const int r = FHistory.p();
  DropPatchesFrom(r);
  TTileSet tiles(FPnBitmap.size());
  const TPWMenuItem pen = ToDevice(FCrPen);
  const TPolygon points = ToDevice(recorded);
  AddRecordTiles(tiles, pen, points, CurrentStyle(), text);
  if (FLayerExact) StorePatch(r, TLayerPatch::Capture(FPnBitmap, tiles));
  RenderRecord(FPnBitmap, FDLnBitmap, pen, points, CurrentStyle(), text);
  changed.Add(tiles);
  compose(changed);
  MaybeCheckpoint();
}
