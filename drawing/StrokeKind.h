#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QRect>
#include <QRegion>
#include <string_view>
#include <vector>

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

// One record as its kind sees it: pen, points as they are drawn now (a
// layer's device pixels when rendered), and the text it shows.
struct TStrokeData {
  TPWMenuItem Menu;
  const TPolygon& Points;
  std::string_view Text;
};

// Where a record is rendered: the pen layer, the scratch layer of the same
// size (transparent, and to be left so), and the clip. Parts are the pieces
// of the record's rectangle inside the clip; every pixel touched on either
// layer lies in them.
struct TRenderTarget {
  QImage& Pen;
  QImage& Scratch;
  QRegion Clip;  // empty: no clip
  std::vector<QRect> Parts;

  bool Clipped() const { return !Clip.isEmpty(); }
  // A painter on the layer, clipped, anti-aliased.
  void Begin(QPainter& p, QImage& layer) const;
  // The scratch layer's parts blended over the pen layer, then cleared.
  void BlendScratch(qreal opacity);
  // Fills the scratch layer's parts with one value.
  void FillScratch(quint32 value);
};

// A segment of a freehand stroke in progress, as the live drawing draws it.
struct TLiveSegment {
  TPointF A, B;
  int Band = 0;       // rainbow band, counted from the stroke's start
  qreal Along = 0;    // path length from the band's start
  qreal DashPos = 0;  // path length from the stroke's start
};

// A kind of stroke record: how its points are taken, drawn live, rendered
// onto the pen layer and found by the lasso. One unit under kinds/ each.
class TStrokeKind {
 public:
  enum class TInput {
    Freehand,  // every pointer move is a point
    Drag,      // the press and the latest position
    Click,     // the press alone, placed at the release
    Typed,     // a press places a caret; keys make the record
  };

  virtual ~TStrokeKind() = default;
  virtual TInput Input() const = 0;
  // The points a record keeps of those taken; constrain is Shift held.
  virtual TPolygon Recorded(const TPolygon& taken, bool constrain) const;
  // Whether a record of these points leaves any mark.
  virtual bool Draws(const TStrokeData&) const { return true; }
  // Every pixel the record can change lies inside.
  virtual QRectF Bounds(const TStrokeData& d, const TRenderStyle& style) const = 0;
  // Marks the tiles the record can touch (a long stroke touches far fewer
  // than its bounds hold); the bounds by default.
  virtual void AddTiles(TTileSet& tiles, const TStrokeData& d, const TRenderStyle& style) const;
  virtual void Render(TRenderTarget& target, const TStrokeData& d, const TRenderStyle& style) const = 0;
  // Points that must lie inside a lasso loop for the record to be picked.
  virtual TPolygon LassoPoints(const TStrokeData& d) const { return d.Points; }
  // What the floating selection shows of the record.
  virtual QPainterPath Outline(const TStrokeData& d) const;

  // Live drawing of a freehand kind: the pen of one segment, and the
  // opacity the scratch layer is written at (segments written over each
  // other at that opacity do not darken) or, when Layered, blended at.
  virtual QPen LivePen(const TPWMenuItem& pen, const TLiveSegment& s) const;
  virtual qreal LiveOpacity(const TPWMenuItem& pen, const TRenderStyle& style) const;
  virtual bool Layered() const { return false; }
  // Live drawing of the other kinds: the record whole at its final look,
  // onto a transparent layer.
  virtual void PaintLive(QPainter& p, const TStrokeData& d, const TRenderStyle& style) const;
};

// The kind of a stroke type; null for types that are not strokes.
const TStrokeKind* StrokeKindOf(TPWPenType type);
