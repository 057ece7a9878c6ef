#include "StrokeRender.h"

#include <QPainter>
#include <cmath>

#include "StrokeGeometry.h"

float StrokeOpacity(TPWPenType type, float mkOpacity) { return IsMarkerKind(type) ? mkOpacity : 1.0f; }

qreal StrokeMargin(float thickness) {
  // Half the width for round caps and joins, plus the anti-aliased rim.
  return std::ceil(std::max(thickness, 1.0f) / 2.0) + 2;
}

QRect RecordRect(const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style, const QSize& surface,
                 std::string_view text) {
  const TStrokeKind* kind = StrokeKindOf(item.PenType);
  if (points.empty() || !kind) return {};
  const TStrokeData d{item, points, text};
  if (!kind->Draws(d)) return {};
  return PixelRect(kind->Bounds(d, style), surface);
}

void AndMask(QImage& pen, const QImage& mask, const QRect& rect) {
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    auto* p = reinterpret_cast<QRgb*>(pen.scanLine(y));
    const auto* k = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const unsigned m = qRed(k[x]);
      if (m == 255 || p[x] == 0) continue;
      if (m == 0) {
        p[x] = 0;
        continue;
      }
      // Rim of the mask: the AND is defined on straight colour values.
      const QRgb s = qUnpremultiply(p[x]);
      p[x] = qPremultiply(qRgba(qRed(s) & m, qGreen(s) & m, qBlue(s) & m, qAlpha(s) & m));
    }
  }
}

QRect RenderRecord(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                   const TRenderStyle& style, std::string_view text) {
  return RenderRecordClipped(pen, scratch, item, points, style, QRegion(), text);
}

QRect RenderRecordClipped(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                          const TRenderStyle& style, const QRegion& clip, std::string_view text) {
  const QRect rect = RecordRect(item, points, style, pen.size(), text);
  if (rect.isEmpty() || (!clip.isEmpty() && !clip.intersects(rect))) return {};
  TRenderTarget target{pen, scratch, clip, {}};
  // Every pixel touched, on either layer, lies inside the clip: bands of one
  // layer can then be drawn side by side.
  if (target.Clipped()) {
    for (const QRect& r : clip) {
      if (r.intersects(rect)) target.Parts.push_back(r & rect);
    }
  } else {
    target.Parts.push_back(rect);
  }
  StrokeKindOf(item.PenType)->Render(target, TStrokeData{item, points, text}, style);
  return rect;
}

void AddRecordTiles(TTileSet& tiles, const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style,
                    std::string_view text) {
  const TStrokeKind* kind = StrokeKindOf(item.PenType);
  if (points.empty() || !kind) return;
  const TStrokeData d{item, points, text};
  if (kind->Draws(d)) kind->AddTiles(tiles, d, style);
}
