#pragma once

#include <QPainterPath>
#include <QRectF>
#include <utility>
#include <vector>

#include "PenItem.h"

// Plane geometry of strokes: plain functions over point lists, no canvas.

// Each inner point replaced by the midpoint of its two neighbours; the ends
// and the number of points stay. Lists of two points or fewer are unchanged.
TPolygon SmoothPoints(const TPolygon& points);

// Move-to the first point, line-to each further one.
QPainterPath PolylinePath(const TPolygon& points);

// Direction from a towards b, counter-clockwise from the x axis with y up,
// in [0, 2*pi); a zero-length direction counts as straight down (3*pi/2).
float DirectionAngle(TPointF a, TPointF b);

// The two sides of an arrow head at tip t opening back towards r.
std::pair<TPointF, TPointF> ArrowHeadSides(TPointF t, TPointF r, float thickness, float arrowSize);

// The path an arrow stroke is drawn as: the points, then the end head, then
// (for double arrows) the start head, each side a sub-path of its own. A
// head points along the path from ten points back, or from further back
// where those ten are shorter than the head's side: at a high report rate
// ten points are the last pixels of the hand settling, and would tilt it.
QPainterPath ArrowPath(const TPolygon& points, bool startHead, float thickness, float arrowSize);

// Even-odd test of (x, y) against the closed polygon; a point level with
// the lower-y end of an edge counts for it, the higher-y end does not.
bool InsidePolygon(const TPolygon& polygon, double x, double y);

// Colour of band i of a rainbow stroke (TRainbowBands).
TAlphaColor RainbowSegmentColor(int i);

// The colour bands of a rainbow stroke, segment by segment as the points
// come. A band ends at the first point on or past the next multiple of the
// band length (one and a half pen widths) along the path, so that a stroke
// looks the same whatever the pointer's report rate: moves that far apart
// get a band each, as one band a move always gave; a fast mouse's short
// moves share a band instead of making beads of colour.
class TRainbowBands {
 public:
  explicit TRainbowBands(float thickness);
  struct TSegment {
    int Band;    // counted from 0 at the stroke's start; its colour's index
    qreal Along;  // path length from the band's start to the segment's
  };
  TSegment Add(TPointF a, TPointF b);
  qreal BandLength() const { return FLength; }

 private:
  qreal FLength;
  qreal FAlong = 0;      // path length so far
  qreal FBandStart = 0;  // where the current band began
  qreal FNext;           // where the current band may end
  int FBand = 0;
};

// The band of every segment of the path.
std::vector<int> RainbowBandsOf(const TPolygon& points, float thickness);

// Bounds of a set of points grown by a margin on every side.
QRectF GrownBounds(const TPolygon& points, qreal margin);

// Smallest whole-pixel rectangle holding r, clipped to the surface.
QRect PixelRect(const QRectF& r, const QSize& surface);

// Length of the segment a-b.
qreal SegmentLength(TPointF a, TPointF b);
