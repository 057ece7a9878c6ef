#pragma once

#include <QPainter>

#include "drawing/StrokeKind.h"

// Kinds drawn whole from a few points: one fill or one stroked outline per
// record, so a translucent one is laid straight on the layer without
// darkening where it crosses itself. Never smoothed.
class TShapeKind : public TStrokeKind {
 public:
  void Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const override;
  void PaintLive(QPainter& p, const TStrokeData& d, const TRenderStyle& style) const override;

 protected:
  // Paints the record at full opacity; the caller sets the painter's.
  virtual void Paint(QPainter& p, const TStrokeData& d) const = 0;
  // Painted on a layer of its own first. The rasterizer cuts a path of many
  // curves (glyphs) differently inside different clips, a level of alpha
  // apart; painted whole, the record comes out the same in every band.
  virtual bool PaintedApart() const { return false; }

 private:
  // The record painted alone on a layer the size of rect.
  QImage Apart(const TStrokeData& d, const QRect& rect) const;
};

// The box spanned by the two points of a rectangle or an ellipse record;
// with constrain, the drag is made a square about the press.
class TBoxKind : public TShapeKind {
 public:
  TInput Input() const override { return TInput::Drag; }
  TPolygon Recorded(const TPolygon& taken, bool constrain) const override;
  bool Draws(const TStrokeData& d) const override;
  QRectF Bounds(const TStrokeData& d, const TRenderStyle& style) const override;

 protected:
  static QRectF Box(const TStrokeData& d);
  // Filled at marker opacity without outline, or outlined in the pen.
  static bool Filled(const TStrokeData& d);
};

// A colour that stands out against c: black on light colours, white on dark.
TAlphaColor ContrastColor(TAlphaColor c);

// What the lasso tests of a box (its corners) and of the ellipse in a box
// (the four points where it touches the box), and their outlines.
TPolygon BoxCorners(const QRectF& b);
TPolygon EllipseExtremes(const QRectF& b);
QPainterPath BoxPath(const QRectF& b);
QPainterPath EllipsePath(const QRectF& b);
