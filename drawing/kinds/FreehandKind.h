#pragma once

#include "drawing/StrokeKind.h"

// Strokes that follow the pointer: pen and marker, and the kinds built on
// them. Shift held makes them the straight line from the press.
class TFreehandKind : public TStrokeKind {
 public:
  TInput Input() const override { return TInput::Freehand; }
  TPolygon Recorded(const TPolygon& taken, bool constrain) const override;
  QRectF Bounds(const TStrokeData& d, const TRenderStyle& style) const override;
  void AddTiles(TTileSet& tiles, const TStrokeData& d, const TRenderStyle& style) const override;
  void Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const override;

 protected:
  // The points as drawn, smoothed when the setting asks for it.
  virtual TPolygon Drawn(const TStrokeData& d, const TRenderStyle& style) const;
  // The path a stroke of those points is drawn as.
  virtual QPainterPath Path(const TStrokeData& d, const TPolygon& drawn, const TRenderStyle& style) const;
};

// Strokes the path in runs of a few segments (see the .cpp), a lone point as
// a dot.
void StrokeRuns(QPainter& p, const QPainterPath& path, QPen pen);
// A line, or a dot where both ends are one point.
void StrokeLine(QPainter& p, QPointF a, QPointF b);
