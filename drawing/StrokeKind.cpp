#include "StrokeKind.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "StrokeGeometry.h"
#include "StrokePen.h"
#include "kinds/Kinds.h"

void TRenderTarget::Begin(QPainter& p, QImage& layer) const {
  p.begin(&layer);
  if (Clipped()) p.setClipRegion(Clip);
  p.setRenderHint(QPainter::Antialiasing, true);
}

void TRenderTarget::BlendScratch(qreal opacity) {
  {
    QPainter p(&Pen);
    p.setOpacity(opacity);
    for (const QRect& part : Parts) p.drawImage(part.topLeft(), Scratch, part);
  }
  FillScratch(0);
}

void TRenderTarget::FillScratch(quint32 value) {
  for (const QRect& r : Parts) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
      auto* line = reinterpret_cast<quint32*>(Scratch.scanLine(y)) + r.left();
      std::fill(line, line + r.width(), value);
    }
  }
}

TPolygon TStrokeKind::Recorded(const TPolygon& taken, bool) const { return taken; }

void TStrokeKind::AddTiles(TTileSet& tiles, const TStrokeData& d, const TRenderStyle& style) const {
  tiles.Add(Bounds(d, style).toAlignedRect());
}

QPainterPath TStrokeKind::Outline(const TStrokeData& d) const { return PolylinePath(d.Points); }

QPen TStrokeKind::LivePen(const TPWMenuItem& pen, const TLiveSegment& s) const {
  QPen out = StrokePen(pen.PenColor, pen.PenThickness, pen.PenDash);
  // The dash phase carries on so that the segments read as one path.
  if (pen.PenDash != sdSolid) out.setDashOffset(s.DashPos / std::max<qreal>(pen.PenThickness, 1));
  return out;
}

qreal TStrokeKind::LiveOpacity(const TPWMenuItem& pen, const TRenderStyle& style) const {
  return IsMarkerKind(pen.PenType) ? style.MkOpacity : 1.0;
}

void TStrokeKind::PaintLive(QPainter&, const TStrokeData&, const TRenderStyle&) const {}

namespace {

// The kinds, one row each.
struct TKindRow {
  TPWPenType Type;
  const TStrokeKind& (*Kind)();
};

constexpr TKindRow kKinds[] = {
    {pwPn, PenKind},          {pwMk, PenKind},          {pwEr, EraserKind},           {pwRbPn, RainbowKind},
    {pwRbMk, RainbowKind},    {pwArPn0, ArrowKind},     {pwArPn1, ArrowKind},         {pwArMk0, ArrowKind},
    {pwArMk1, ArrowKind},     {pwLine, LineKind},       {pwLineMk, LineKind},         {pwRect, RectKind},
    {pwRectMk, RectKind},     {pwEllipse, EllipseKind}, {pwEllipseMk, EllipseKind},   {pwText, TextKind},
    {pwStep, StepKind},
};

}  // namespace

const TStrokeKind* StrokeKindOf(TPWPenType type) {
  for (const TKindRow& row : kKinds) {
    if (row.Type == type) return &row.Kind();
  }
  return nullptr;
}
