#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "StrokeGeometry.h"
#include "StrokePen.h"
#include "settings/Settings.h"

namespace {

void ClearRect(QImage& img, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    std::memset(img.scanLine(y) + r.left() * 4, 0, static_cast<std::size_t>(r.width()) * 4);
  }
}

QImage Layer(QSize size) {
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(0);
  return img;
}

}  // namespace

TPWEngine::TPWEngine() { Resize(QSizeF(0, 0)); }

TPWEngine::~TPWEngine() = default;

void TPWEngine::SetLayerSize(QSize size) {
  if (FPnBitmap.size() != size) FPnBitmap = Layer(size);
  if (FDLnBitmap.size() != size) FDLnBitmap = Layer(size);
  FDLnBitmap.fill(0);
}

void TPWEngine::Resize(QSizeF size) {
  // Halves round to even, as the layers of the surface always have.
  const QSize whole(static_cast<int>(std::nearbyint(std::max<qreal>(size.width(), 0))),
                    static_cast<int>(std::nearbyint(std::max<qreal>(size.height(), 0))));
  FDisplay = Layer(whole);
  Init();
  ZoomPosSet();
}

void TPWEngine::Init() {
  SetLayerSize(FDisplay.size());
  FPnBitmap.fill(0);
  FHistory.ClearHistory();
  // Indexes of a selection would point into the forgotten history.
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  FIsDown = 0;
  FLiveRect = QRect();
}

void TPWEngine::ZoomPosSet() {
  FCrPoints.clear();
  PWImageBitmapUpdate();
}

void TPWEngine::Compose(const QRect& rect) {
  const QRect r = rect & FDisplay.rect();
  if (r.isEmpty()) return;
  QPainter p(&FDisplay);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(r, QColor::fromRgba(Background()));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.drawImage(r.topLeft(), FPnBitmap, r);
  FDirty += r;
}

void TPWEngine::PWImageBitmapUpdate() {
  Compose(FDisplay.rect());
}

void TPWEngine::SetCanWrite(bool on) {
  FCanWrite = on;
  PWImageBitmapUpdate();
}

void TPWEngine::SetCrPen(const TPWMenuItem& item) {
  // A selection left pending would keep its strokes off the pen layer.
  if (FCrPen.PenType == pwLasso && item.PenType != pwLasso) LassoUpdate();
  const float keep = FCrPen.PenThickness;
  FCrPen = item;
  if (item.PenType == pwLasso) {
    FCrPen.PenThickness = keep;
    FSelRF = QRectF(0, 0, 0, 0);
  }
}

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
  FLiveRect = QRect();
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

void TPWEngine::Release(QPointF pos) {
  if (FIsDown == 1) {
    P1 = {static_cast<float>(pos.x()), static_cast<float>(pos.y())};
    // A press without movement leaves a dot.
    if (FCrPoints.size() == 1) FCrPoints.push_back(P1);
    CommitStroke();
  } else if (FIsDown == 3) {
    const QPointF d = FSelGrXY1 - FSelGrXY0;
    FSelTrans = TAr3x3::Translation(static_cast<float>(d.x()), static_cast<float>(d.y())) * FSelTrans;
    FSelRF.translate(d);
  }
  FIsDown = 0;
}

void TPWEngine::Leave() {
  if (FIsDown == 1) {
    CommitStroke();
  } else if (FIsDown == 3) {
    const QPointF d = FSelGrXY1 - FSelGrXY0;
    FSelTrans = TAr3x3::Translation(static_cast<float>(d.x()), static_cast<float>(d.y())) * FSelTrans;
    FSelRF.translate(d);
  }
  FIsDown = 0;
}

void TPWEngine::LivePreview() {
  const int n = static_cast<int>(FCrPoints.size());
  if (n < 2) return;
  if (FCrPen.PenType == pwLasso) {
    // The dotted trail is drawn onto the display and stays until the next compose.
    const TPointF a = FCrPoints[n - 2], b = FCrPoints[n - 1];
    QPainter p(&FDisplay);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setOpacity(0.5);
    p.setPen(StrokePen(0xFF000000, 2, sdDot));
    p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    FDirty += PixelRect(GrownBounds({a, b}, StrokeMargin(2)), FDisplay.size());
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
  const float w = FCrPen.PenThickness;
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
      const TPointF a = FCrPoints[i], b = FCrPoints[i + 1];
      QPen pen;
      if (rainbow) {
        // Every rainbow segment is a line of its own: its dash starts afresh.
        pen = StrokePen(RainbowSegmentColor(i), w, FCrPen.PenDash);
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
  FLiveRect |= changed;

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
  if (!FLiveRect.isEmpty()) ClearRect(FDLnBitmap, FLiveRect & FDLnBitmap.rect());
}

void TPWEngine::CommitStroke() {
  if (FCrPen.PenType == pwLasso) {
    CommitLasso();
    return;
  }
  ClearLive();
  const QRect live = FLiveRect;
  FLiveRect = QRect();
  if (!IsStrokeKind(FCrPen.PenType) || FCrPoints.empty()) {
    Compose(live);
    return;
  }
  FHistory.AddStroke(FCrPen, FCrPoints);
  const QRect r = RenderRecord(FPnBitmap, FDLnBitmap, FCrPen, FCrPoints, CurrentStyle());
  Compose(live | r);
}

TRenderStyle TPWEngine::CurrentStyle() {
  FStyle.Smoothing = isSmoothing;
  return FStyle;
}

void TPWEngine::CommitLasso() {
  FHistory.AddMove(FSelTrans, FSelLines);
  FSelLines.clear();
  if (FCrPoints.size() >= 3) {
    for (int i = 0; i <= FHistory.p(); ++i) {
      if (!FHistory.Rec()[i].IsStroke()) continue;
      const TPolygon pts = FHistory.ResolvedPoints(i);
      const bool inside = std::all_of(pts.begin(), pts.end(), [&](const TPointF& q) {
        return InsidePolygon(FCrPoints, q.x, q.y);
      });
      if (inside) FSelLines.push_back(i);
    }
  }
  BuildSelection();
  Replay();
}

void TPWEngine::BuildSelection() {
  FSelPathData = QPainterPath();
  FSelTrans = TAr3x3::Identity();
  if (FSelLines.empty()) {
    FSelRF = QRectF(0, 0, 0, 0);
    return;
  }
  for (const std::int32_t i : FSelLines) FSelPathData.addPath(PolylinePath(FHistory.ResolvedPoints(i)));
  const qreal w = FCrPen.PenThickness;
  FSelRF = FSelPathData.boundingRect().adjusted(-w, -w, w, w);
  FSelImagePos = FSelRF.topLeft();
  FSelPathData.translate(-FSelRF.topLeft());
}

void TPWEngine::LassoUpdate() {
  if (FCrPen.PenType != pwLasso) return;
  const bool had = !FSelLines.empty();
  FHistory.AddMove(FSelTrans, FSelLines);
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  // The old rectangle would otherwise catch presses for a selection that is gone.
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  if (had || FLayerStyle != CurrentStyle()) Replay();
}

void TPWEngine::Replay() {
  ReplayAll();
  PWImageBitmapUpdate();
}

void TPWEngine::ReplayAll() {
  SetLayerSize(FDisplay.size());
  FPnBitmap.fill(0);
  const TRenderStyle style = CurrentStyle();
  std::vector<bool> skip(static_cast<std::size_t>(FHistory.p() + 1), false);
  for (const std::int32_t i : FSelLines) {
    if (i >= 0 && i <= FHistory.p()) skip[static_cast<std::size_t>(i)] = true;
  }
  for (int i = 0; i <= FHistory.p(); ++i) {
    const TPWRec& rec = FHistory.Rec()[i];
    if (!rec.IsStroke() || skip[static_cast<std::size_t>(i)]) continue;
    RenderRecord(FPnBitmap, FDLnBitmap, rec.Menu, FHistory.ResolvedPoints(i), style);
  }
  FLayerStyle = style;
}

void TPWEngine::EraseAll() {
  FPnBitmap.fill(0);
  FHistory.ClearHistory();
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  PWImageBitmapUpdate();
}

void TPWEngine::PWUndo() {
  LassoUpdate();
  if (!FHistory.CanUndo()) return;
  FHistory.Undo();
  Replay();
}

void TPWEngine::PWRedo() {
  LassoUpdate();
  if (!FHistory.CanRedo()) return;
  FHistory.Redo();
  Replay();
}

QRegion TPWEngine::TakeDirty() {
  QRegion r = FDirty;
  FDirty = QRegion();
  return r;
}

std::size_t TPWEngine::UndoCacheBytes() const { return 0; }
