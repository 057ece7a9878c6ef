#pragma once

#include <QImage>
#include <QRect>

#include "LayerPatch.h"
#include "PenItem.h"

// How records are rendered; the surface passes its current values, so that a
// change of smoothing or marker opacity shows at the next rebuild.
struct TRenderStyle {
  float MkOpacity = 0.4f;
  float ArrowSize = 5;
  bool Smoothing = true;
  friend bool operator==(const TRenderStyle&, const TRenderStyle&) = default;
};

// Opacity a stroke kind is blended with.
float StrokeOpacity(TPWPenType type, float mkOpacity);

// Margin around a stroke's points that holds every pixel its pen can touch.
qreal StrokeMargin(float thickness);

// Draws one stroke record onto the pen layer (premultiplied). The scratch
// layer, of the same size, must be fully transparent and is left so; all
// work on it is bounded by the record's own rectangle, which is returned
// (empty when nothing was drawn).
QRect RenderRecord(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                   const TRenderStyle& style);
// The same, changing only pixels inside clip, where they come out exactly as
// without it.
QRect RenderRecordClipped(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                          const TRenderStyle& style, const QRegion& clip);

// The rectangle RenderRecord would change, without drawing.
QRect RecordRect(const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style, const QSize& surface);

// Each byte of every pen pixel in rect AND the red byte of the mask pixel,
// on straight (not premultiplied) values as the eraser defines it.
void AndMask(QImage& pen, const QImage& mask, const QRect& rect);

// Marks every tile the record's pen can touch, segment by segment (a long
// diagonal stroke touches far fewer tiles than its bounding box holds).
void AddRecordTiles(TTileSet& tiles, const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style);
