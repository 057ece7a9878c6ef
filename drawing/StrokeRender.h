#pragma once

#include <QImage>
#include <QRect>
#include <string_view>

#include "LayerPatch.h"
#include "PenItem.h"
#include "StrokeKind.h"

// Opacity a stroke kind is blended with.
float StrokeOpacity(TPWPenType type, float mkOpacity);

// Margin around a stroke's points that holds every pixel its pen can touch.
qreal StrokeMargin(float thickness);

// Draws one stroke record onto the pen layer (premultiplied). The scratch
// layer, of the same size, must be fully transparent and is left so; all
// work on it is bounded by the record's own rectangle, which is returned
// (empty when nothing was drawn). text is what a text or step record shows.
QRect RenderRecord(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                   const TRenderStyle& style, std::string_view text = {});
// The same, changing only pixels inside clip, where they come out exactly as
// without it.
QRect RenderRecordClipped(QImage& pen, QImage& scratch, const TPWMenuItem& item, const TPolygon& points,
                          const TRenderStyle& style, const QRegion& clip, std::string_view text = {});

// The rectangle RenderRecord would change, without drawing.
QRect RecordRect(const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style, const QSize& surface,
                 std::string_view text = {});

// Each byte of every pen pixel in rect AND the red byte of the mask pixel,
// on straight (not premultiplied) values as the eraser defines it.
void AndMask(QImage& pen, const QImage& mask, const QRect& rect);

// Marks every tile the record's pen can touch, segment by segment (a long
// diagonal stroke touches far fewer tiles than its bounding box holds).
void AddRecordTiles(TTileSet& tiles, const TPWMenuItem& item, const TPolygon& points, const TRenderStyle& style,
                    std::string_view text = {});
