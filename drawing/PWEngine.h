#pragma once

#include <QImage>
#include <QPainterPath>
#include <QRegion>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "LayerPatch.h"
#include "PenItem.h"
#include "StrokeGeometry.h"
#include "StrokeHistory.h"
#include "StrokeRender.h"

// The drawing surface without a window: layers, history, the pointer state
// machine and the lasso selection. Every operation records the region of the
// display it changed; the widget repaints only that (TakeDirty).
//
// Beside PWEngine.cpp (layers, composing, settings): PWEnginePointer.cpp
// (input and live drawing), PWEngineLasso.cpp, PWEngineReplay.cpp and
// PWEngineUndoCache.cpp.
class TPWEngine {
 public:
  static constexpr TAlphaColor WriteBackground = 0x01FFFFFF;
  static constexpr TAlphaColor PassBackground = 0x00FFFFFF;

  TPWEngine();
  ~TPWEngine();
  TPWEngine(const TPWEngine&) = delete;
  TPWEngine& operator=(const TPWEngine&) = delete;

  // Sizes every layer (rounded to whole pixels) and forgets drawing and
  // history. Positions, widths and the history are in the surface's logical
  // pixels; the layers hold scale device pixels to each of them, so that a
  // screen of a high pixel ratio gets strokes of its own resolution.
  void Resize(QSizeF size, qreal scale = 1);
  // Size of the layers, in device pixels.
  QSize Size() const { return FDisplay.size(); }
  // The layer size for a surface size and scale: the device pixels of its window.
  static QSize LayerSize(QSizeF size, qreal scale);
  qreal Scale() const { return FScale; }

  // Pen layer and scratch layer to the surface size, pen layer cleared,
  // history forgotten.
  void Init();
  // Clears the stroke in progress and composes the display.
  void ZoomPosSet();
  // The display: background with the pen layer over it, everywhere.
  void PWImageBitmapUpdate();
  void EraseAll();
  void PWUndo();
  void PWRedo();
  // Rebuilds the pen layer from the history, leaving out selected strokes.
  void Replay();
  void LassoUpdate();

  const QImage& Display() const { return FDisplay; }
  const QImage& PenBitmap() const { return FPnBitmap; }
  const QImage& Scratch() const { return FDLnBitmap; }
  const TPWRecArray& History() const { return FHistory; }

  TPWMenuItem CrPen() const { return FCrPen; }
  void SetCrPen(const TPWMenuItem& item);
  float MKOpacity() const { return FStyle.MkOpacity; }
  void SetMKOpacity(float opacity) { FStyle.MkOpacity = opacity; }
  float ArrowSize() const { return FStyle.ArrowSize; }
  bool CanWrite() const { return FCanWrite; }
  void SetCanWrite(bool on);
  int isDown() const { return FIsDown; }
  bool isWorking() const { return FIsDown != 0 || FIsPainting; }

  // Pointer input, in surface coordinates. Press returns false when ignored.
  bool Press(QPointF pos);
  void Move(QPointF pos);
  // Moves that came together, each taken as Move takes it, with one live
  // drawing for all: the same pixels as the moves one by one.
  void MoveBatch(std::span<const QPointF> positions);
  void Release(QPointF pos);
  void Leave();

  // Points of the stroke in progress (or of the lasso loop), as captured.
  const TPolygon& CrPoints() const { return FCrPoints; }
  // Shift held, as the pointer events report it: freehand strokes become
  // straight lines, lines snap to 15 degrees, boxes become squares.
  void SetConstrain(bool on) { FConstrain = on; }

  // A text being typed: opened by a press with the text tool, ended by
  // EndText (also by another tool, a command, drawing switched off or
  // erasing all). An empty text leaves no record.
  bool TextOpen() const { return FTextOpen; }
  const std::string& TypedText() const { return FText; }
  // Characters as typed; a line break starts a new line.
  void TypeText(const QString& text);
  void TypeBackspace();
  void EndText();
  // Where the caret stands, in surface coordinates (empty when no text is open).
  QRectF TextCaretRect() const;

  // The lasso selection.
  const TLines& SelLines() const { return FSelLines; }
  QRectF SelRF() const { return FSelRF; }
  const TAr3x3& SelTrans() const { return FSelTrans; }
  // Outlines of the selected strokes, relative to the selection's corner.
  const QPainterPath& SelPathData() const { return FSelPathData; }
  // Where the floating selection is shown now (it follows a drag).
  QPointF SelPosition() const { return FSelImagePos; }

  // The display region changed since the last call.
  QRegion TakeDirty();

  // The laser pointer: a trail on the display only, never a record; each
  // point is gone LaserFadeMs after it was drawn (PWEngineLaser.cpp).
  static constexpr int LaserFadeMs = 1500;
  // Some of the trail is still to be seen.
  bool LaserFading() const { return !FLaser.empty(); }
  // Draws the trail as it looks now, older points fainter.
  void LaserTick();
  // Takes the trail off the display at once (before a picture is taken).
  void DropLaser();
  // Milliseconds of a steady clock; tests set their own.
  void SetClock(std::function<qint64()> clock) { FClock = std::move(clock); }

  // Bytes held to make undo and redo fast, beyond the layers themselves,
  // and the most they may come to: 48 MiB, but no less than two layers and
  // no more than six.
  std::size_t UndoCacheBytes() const { return FPatchBytes + FCheckpointBytes; }
  std::size_t UndoCacheBudget() const;
  // Records whose change is kept, so that undoing or redoing them is a copy.
  int UndoCacheRecords() const;
  // A budget other than the usual one (0: the usual again), for tests.
  void SetUndoCacheBudget(std::size_t bytes);
  // How undo steps went since the engine was made.
  struct TUndoStats {
    int Swaps = 0;           // by a kept change
    int Rebuilds = 0;        // by a forward rebuild
    int FromCheckpoint = 0;  // of those, from a checkpoint rather than from nothing
    int MostReplayed = 0;    // most records one bounded rebuild drew
    int FullRebuilds = 0;    // of the rebuilds, those of the whole history in a new look
    int Captured = 0;        // records whose change a rebuild kept on its way
  };
  const TUndoStats& UndoStats() const { return FStats; }
  // Whole-layer checkpoints kept, the least number of records between new
  // ones, and the records they were taken at.
  int UndoCheckpoints() const { return static_cast<int>(FCheckpoints.size()); }
  int CheckpointStep() const { return FCheckpointStep; }
  std::vector<int> CheckpointRecords() const;

 private:
  void Compose(const QRect& rect);
  qint64 Now() const;
  void AddLaserPoint(TPointF at, bool start, bool draw);
  // Where the trail lies on the display, in device pixels.
  QRegion LaserRegion() const;
  void LivePreview();
  void LiveSegments(const TPolygon& points, int from, int to);
  // The live drawing of a kind drawn whole: the record as it would be
  // committed, on the scratch layer, replacing the previous one.
  void LiveWhole(const TPolygon& points, std::string_view text, bool caret);
  // Background, pen layer and scratch layer composed inside rect.
  void ComposeLive(const QRect& rect);
  // The live drawing taken off the scratch layer and the display.
  void DropLive();
  // Appends a record of the current pen and draws it onto the pen layer.
  void AddRecord(const TPolygon& points, const std::string& text);
  // The number the next step badge shows.
  int NextStep() const;
  void CommitStroke();
  void CommitLasso();
  void BuildSelection();
  void ClearLive();
  // Rebuilds the whole pen layer (leaving out the selection); in a new look
  // as RebuildWhole does.
  void ReplayAll();
  // Rebuilds the pen layer inside tiles only, drawing just the records that
  // reach into them; the pixels come out as a full rebuild's.
  void ReplayTiles(const TTileSet& tiles, bool compose = true);
  // Brings the pen layer to the drawing of records 0..target (below the
  // present), from the nearest checkpoint at or below it, keeping the
  // changes of the records it passes.
  void RebuildTo(int target);
  // Brings the pen layer to records 0..target (the history's p must be at
  // or above it) in one pass as a full rebuild draws, laying the checkpoints
  // near the target on the way but keeping no per-record change.
  void RebuildWhole(int target, bool compose = true);
  // Draws record r (just redone) onto a layer holding records 0..r-1.
  void ApplyRecord(int r, const TTileSet& tiles, bool compose);
  // Keeps a checkpoint of the present when one is due.
  void MaybeCheckpoint();
  void AddCheckpoint(int at);
  void ThinCheckpoints();
  void DropCheckpointsFrom(int r);
  void CountCheckpointBytes();
  // The budget left for kept changes besides the checkpoints.
  std::size_t PatchBudget() const;
  // A checkpoint is due at r when the one below lies a step or more away.
  bool CheckpointDue(int r) const;
  // Draws every record in effect from first on that reaches into area,
  // changing pixels only there.
  void RenderHistory(const QRegion& area, const TRenderStyle& style, int first = 0);
  // Puts a pending selection back: its strokes return to the pen layer, and
  // a move becomes a history record.
  void SettleSelection();
  bool Skipped(int i) const;
  // Tiles where the drawing with record r differs from the drawing without it.
  TTileSet RecordTiles(int r) const;
  TTileSet StrokeTiles(int i, int upTo) const;
  bool LayerIsCurrent();
  void StorePatch(int r, TLayerPatch patch);
  void TrimPatches();
  void DropPatchesFrom(int r);
  void EndSelectionDrag();
  // Pen layer, history, selection and kept changes back to nothing.
  void ForgetDrawing();
  // Forgets every kept change and checkpoint; the step between checkpoints
  // starts over unless keepStep (the drawing stays as large in another look).
  void DropAllPatches(bool keepStep = false);
  // Swaps the kept change of record r with the pen layer's pixels.
  bool SwapPatch(int r);
  void SetLayerSize(QSize size);
  static void ClearRect(QImage& img, const QRect& r);
  TAlphaColor Background() const { return FCanWrite ? WriteBackground : PassBackground; }
  // A record's points and pen as the layers draw them, in device pixels.
  TPolygon ToDevice(TPolygon points) const;
  TPointF ToDevice(TPointF point) const;
  TPWMenuItem ToDevice(const TPWMenuItem& item) const;
  // The style records are drawn with now (smoothing is a setting read live).
  TRenderStyle CurrentStyle();

  qreal FScale = 1;
  QImage FDisplay;
  QImage FPnBitmap;
  QImage FDLnBitmap;  // scratch: live coverage of the stroke, rainbow and eraser work

  TRenderStyle FStyle;
  // The style the pen layer was last rebuilt with.
  TRenderStyle FLayerStyle;
  TPWMenuItem FCrPen{pwMk, 0xFFFF0000, 10, sdSolid};
  bool FCanWrite = false;
  int FIsDown = 0;
  bool FIsPainting = false;
  int RbCount = 0;
  TPointF P0, P1;
  TPolygon FCrPoints;

  // Live drawing: segments drawn so far, the dash phase reached, the tiles
  // the live stroke covers and the background it was begun on.
  int FLiveDrawn = 0;
  qreal FDashPos = 0;
  TRainbowBands FBands{1};
  TTileSet FLiveTiles;
  TAlphaColor FLiveBackground = PassBackground;
  bool FConstrain = false;
  // The live freehand stroke is drawn as the straight line Shift makes.
  bool FLiveConstrained = false;
  // Where the live drawing of a kind drawn whole lies on the scratch layer.
  QRect FLiveRect;
  bool FTextOpen = false;
  TPointF FTextAt;
  std::string FText;

  TLines FSelLines;
  QRectF FSelRF;
  TAr3x3 FSelTrans;
  QPainterPath FSelPathData;
  QPointF FSelGrXY0, FSelGrXY1, FSelPosition, FSelImagePos;

  TPWRecArray FHistory;
  QRegion FDirty;

  struct TLaserPoint {
    TPointF At;
    qint64 Time = 0;
    bool Start = false;  // begins a stroke of its own: no segment from the point before
  };
  std::vector<TLaserPoint> FLaser;
  QRegion FLaserShown;
  std::function<qint64()> FClock;

  // Undo cache. For a record at or below p, the pixels its tiles had before
  // it; above p, the pixels they had with it; either is swapped with the
  // layer to step. Valid while the pen layer is exactly the rebuild of the
  // history with FLayerStyle.
  std::vector<std::optional<TLayerPatch>> FPatches;
  std::size_t FPatchBytes = 0;
  bool FLayerExact = true;
  // The pen layer with records 0..key in effect, drawn with FLayerStyle.
  std::map<int, TLayerCheckpoint> FCheckpoints;
  std::size_t FCheckpointBytes = 0;
  // The blocks counted in FCheckpointBytes (shared ones once). Stale
  // addresses never linger: every removal counts all of them anew.
  std::unordered_set<const char*> FCheckpointBlocks;
  int FCheckpointStep = 16;  // grows as the drawing does
  std::size_t FBudget = 0;
  TUndoStats FStats;
  // The pen layer under the selected strokes before they were lifted off it.
  std::optional<TLayerPatch> FSelBefore;
};
