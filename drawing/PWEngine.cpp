#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <unordered_set>

#include "StrokeGeometry.h"
#include "StrokePen.h"
#include "settings/Settings.h"

namespace {

constexpr int kFirstCheckpointStep = 16;
// Records a whole rebuild draws in stretches, laying checkpoints, below its
// target; the rest it draws in one go.
constexpr int kWholePassTail = 64;
// The most records between the checkpoints it lays there, so that the steps
// after it rebuild little.
constexpr int kWholePassStep = 16;

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
  // Between drawings the scratch layer is kept transparent; a stroke cut
  // short here leaves none of it behind.
  FDLnBitmap.fill(0);
  ForgetDrawing();
  FIsDown = 0;
  FLiveTiles = TTileSet(FDLnBitmap.size());
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
  LassoUpdate();
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
  FLiveTiles = TTileSet(FDLnBitmap.size());
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
    EndSelectionDrag();
  }
  FIsDown = 0;
}

void TPWEngine::Leave() {
  if (FIsDown == 1) {
    CommitStroke();
  } else if (FIsDown == 3) {
    EndSelectionDrag();
  }
  FIsDown = 0;
}

// The drag adds up in the pending move; the strokes move at the commit.
void TPWEngine::EndSelectionDrag() {
  const QPointF d = FSelGrXY1 - FSelGrXY0;
  FSelTrans = TAr3x3::Translation(static_cast<float>(d.x()), static_cast<float>(d.y())) * FSelTrans;
  FSelRF.translate(d);
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
  for (const TPointF* q = &FCrPoints[from]; q < &FCrPoints[to]; ++q) {
    FLiveTiles.Add(PixelRect(GrownBounds({q[0], q[1]}, margin), FDLnBitmap.size()));
  }

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
  for (const QRect& r : FLiveTiles.Region()) ClearRect(FDLnBitmap, r);
}

void TPWEngine::CommitStroke() {
  if (FCrPen.PenType == pwLasso) {
    CommitLasso();
    return;
  }
  // Only the tiles the live stroke reached are cleared and composed again.
  ClearLive();
  TTileSet changed = FLiveTiles;
  FLiveTiles = TTileSet(FDLnBitmap.size());
  const auto compose = [this](const TTileSet& tiles) {
    for (const QRect& r : tiles.Region()) Compose(r);
  };
  if (!IsStrokeKind(FCrPen.PenType) || FCrPoints.empty()) {
    compose(changed);
    return;
  }
  // A stroke drawn after a change of smoothing or opacity lies on a layer of
  // the old look: kept changes would no longer match a rebuild.
  if (!LayerIsCurrent()) {
    DropAllPatches(true);
    FLayerExact = false;
  }
  FHistory.AddStroke(FCrPen, FCrPoints);
  const int r = FHistory.p();
  DropPatchesFrom(r);
  TTileSet tiles(FPnBitmap.size());
  AddRecordTiles(tiles, FCrPen, FCrPoints, CurrentStyle());
  if (FLayerExact) StorePatch(r, TLayerPatch::Capture(FPnBitmap, tiles));
  RenderRecord(FPnBitmap, FDLnBitmap, FCrPen, FCrPoints, CurrentStyle());
  changed.Add(tiles);
  compose(changed);
  MaybeCheckpoint();
}

TRenderStyle TPWEngine::CurrentStyle() {
  FStyle.Smoothing = isSmoothing;
  return FStyle;
}

bool TPWEngine::LayerIsCurrent() { return FLayerExact && FLayerStyle == CurrentStyle(); }

bool TPWEngine::Skipped(int i) const {
  return std::binary_search(FSelLines.begin(), FSelLines.end(), static_cast<std::int32_t>(i));
}

void TPWEngine::SettleSelection() {
  const bool had = !FSelLines.empty();
  const int before = FHistory.p();
  // The lifted strokes go back first: the layer is then the drawing without
  // the move, which is what the move's kept change must hold.
  if (had && FSelBefore) FSelBefore->Restore(FPnBitmap);
  const bool restored = had && FSelBefore.has_value();
  FHistory.AddMove(FSelTrans, FSelLines);
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  FSelBefore.reset();
  if (!had) return;
  if (!restored) {
    ReplayAll();
    return;
  }
  if (FHistory.p() == before) return;  // dropped where it was picked up
  const int m = FHistory.p();
  DropPatchesFrom(m);
  const TTileSet tiles = RecordTiles(m);
  if (FLayerExact) StorePatch(m, TLayerPatch::Capture(FPnBitmap, tiles));
  ReplayTiles(tiles);
  MaybeCheckpoint();
}

void TPWEngine::CommitLasso() {
  const bool had = !FSelLines.empty();
  SettleSelection();
  if (!LayerIsCurrent()) ReplayAll();
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
  if (!FSelLines.empty()) {
    // Lift the selected strokes off the layer where they lie, keeping what
    // was there to put back if they are dropped unmoved.
    TTileSet tiles(FPnBitmap.size());
    for (const std::int32_t i : FSelLines) tiles.Add(StrokeTiles(i, FHistory.p()));
    FSelBefore = TLayerPatch::Capture(FPnBitmap, tiles);
    ReplayTiles(tiles);
  }
  (void)had;
  // Composing the whole display also removes the dotted trail.
  PWImageBitmapUpdate();
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
  SettleSelection();
  if (!LayerIsCurrent()) {
    ReplayAll();
    PWImageBitmapUpdate();
  } else if (had) {
    PWImageBitmapUpdate();
  }
}

void TPWEngine::Replay() {
  ReplayAll();
  PWImageBitmapUpdate();
}

void TPWEngine::ReplayAll() {
  SetLayerSize(FDisplay.size());
  // In a new look, the undo step that follows would find nothing kept: lay
  // checkpoints on the way (a selection left out would make them wrong).
  if (FSelLines.empty() && !LayerIsCurrent()) {
    RebuildWhole(FHistory.p(), false);
    return;
  }
  FPnBitmap.fill(0);
  const TRenderStyle style = CurrentStyle();
  RenderHistory(QRegion(FPnBitmap.rect()), style);
  if (!(style == FLayerStyle)) DropAllPatches(true);
  FLayerStyle = style;
  FLayerExact = true;
}

void TPWEngine::ReplayTiles(const TTileSet& tiles, bool compose) {
  const QRegion clip = tiles.Region();
  if (clip.isEmpty()) return;
  for (const QRect& r : clip) ClearRect(FPnBitmap, r);
  RenderHistory(clip, CurrentStyle());
  if (!compose) return;
  for (const QRect& r : clip) Compose(r);
}

void TPWEngine::RenderHistory(const QRegion& area, const TRenderStyle& style, int first) {
  struct Job {
    const TPWMenuItem* menu;
    TPolygon points;
  };
  const QRect bounds = area.boundingRect();
  std::vector<Job> jobs;
  for (int i = std::max(first, 0); i <= FHistory.p(); ++i) {
    const TPWRec& rec = FHistory.Rec()[i];
    if (!rec.IsStroke() || Skipped(i)) continue;
    TPolygon points = FHistory.ResolvedPoints(i);
    // The region, not its bounds: a lasso move's tiles are scattered.
    if (area.intersects(RecordRect(rec.Menu, points, style, FPnBitmap.size()))) {
      jobs.push_back({&rec.Menu, std::move(points)});
    }
  }
  // Horizontal bands are drawn side by side, each only inside its own rows;
  // a record comes out in a band exactly as it would on the whole layer.
  const int width = FPnBitmap.width();
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  const int bands = jobs.size() < 16 || bounds.height() < 256 ? 1 : std::clamp(cores, 1, 4);
  const bool whole = area == QRegion(FPnBitmap.rect());
  if (bands == 1) {
    for (const Job& job : jobs) {
      RenderRecordClipped(FPnBitmap, FDLnBitmap, *job.menu, job.points, style, whole ? QRegion() : area);
    }
    return;
  }
  uchar* penBits = FPnBitmap.bits();
  uchar* scratchBits = FDLnBitmap.bits();
  const qsizetype stride = FPnBitmap.bytesPerLine();
  const QImage::Format format = FPnBitmap.format();
  const int height = FPnBitmap.height();
  auto band = [&](int b) {
    const int y0 = bounds.top() + bounds.height() * b / bands;
    const int y1 = bounds.top() + bounds.height() * (b + 1) / bands;
    // Each band sees the whole layer (the size of the device steers how
    // dashes and curves are cut, so a smaller one would change pixels) and
    // writes only inside its clip.
    QImage pen(penBits, width, height, stride, format);
    QImage scratch(scratchBits, width, height, stride, format);
    const QRegion clip = area & QRect(0, y0, width, y1 - y0);
    if (clip.isEmpty()) return;
    for (const Job& job : jobs) RenderRecordClipped(pen, scratch, *job.menu, job.points, style, clip);
  };
  std::vector<std::thread> helpers;
  for (int b = 1; b < bands; ++b) helpers.emplace_back(band, b);
  band(0);
  for (std::thread& t : helpers) t.join();
}

TTileSet TPWEngine::StrokeTiles(int i, int upTo) const {
  TTileSet tiles(FPnBitmap.size());
  const TPWRec& rec = FHistory.Rec()[i];
  AddRecordTiles(tiles, rec.Menu, FHistory.ResolvedPointsAt(i, upTo), FLayerStyle);
  return tiles;
}

TTileSet TPWEngine::RecordTiles(int r) const {
  const TPWRec& rec = FHistory.Rec()[r];
  if (rec.IsStroke()) return StrokeTiles(r, r);
  TTileSet tiles(FPnBitmap.size());
  if (!rec.IsMove()) return tiles;
  for (const std::int32_t i : rec.Lines) {
    if (i < 0 || i >= r || !FHistory.Rec()[i].IsStroke()) continue;
    tiles.Add(StrokeTiles(i, r - 1));
    tiles.Add(StrokeTiles(i, r));
  }
  return tiles;
}

std::size_t TPWEngine::UndoCacheBudget() const {
  if (FBudget > 0) return FBudget;
  return 2 * std::size_t(FPnBitmap.width()) * std::size_t(FPnBitmap.height()) * 4;
}

void TPWEngine::SetUndoCacheBudget(std::size_t bytes) {
  FBudget = bytes;
  ThinCheckpoints();
  TrimPatches();
}

int TPWEngine::UndoCacheRecords() const {
  return static_cast<int>(std::count_if(FPatches.begin(), FPatches.end(), [](const auto& p) { return p.has_value(); }));
}

void TPWEngine::StorePatch(int r, TLayerPatch patch) {
  if (r < 0) return;
  if (FPatches.size() <= std::size_t(r)) FPatches.resize(std::size_t(r) + 1);
  auto& slot = FPatches[std::size_t(r)];
  patch.Pack();
  if (slot) FPatchBytes -= slot->Bytes();
  FPatchBytes += patch.Bytes();
  slot = std::move(patch);
  TrimPatches();
}

std::size_t TPWEngine::PatchBudget() const {
  const std::size_t budget = UndoCacheBudget();
  return FCheckpointBytes >= budget ? 0 : budget - FCheckpointBytes;
}

void TPWEngine::TrimPatches() {
  // Over budget, the changes farthest from the present go first; those of
  // the redo side count as twice as far, since redoing a stroke without its
  // kept change only draws that stroke.
  std::size_t lo = 0, hi = FPatches.size();
  while (FPatchBytes > PatchBudget() && lo < hi) {
    const int p = FHistory.p();
    const bool dropLow = (p - int(lo)) >= 2 * (int(hi) - 1 - p);
    auto& victim = dropLow ? FPatches[lo++] : FPatches[--hi];
    if (victim) {
      FPatchBytes -= victim->Bytes();
      victim.reset();
    }
  }
}

void TPWEngine::DropPatchesFrom(int r) {
  for (std::size_t i = std::size_t(std::max(r, 0)); i < FPatches.size(); ++i) {
    if (FPatches[i]) FPatchBytes -= FPatches[i]->Bytes();
  }
  if (FPatches.size() > std::size_t(std::max(r, 0))) FPatches.resize(std::size_t(std::max(r, 0)));
  DropCheckpointsFrom(r);
}

void TPWEngine::DropAllPatches(bool keepStep) {
  FPatches.clear();
  FPatchBytes = 0;
  FCheckpoints.clear();
  FCheckpointBlocks.clear();
  FCheckpointBytes = 0;
  if (!keepStep) FCheckpointStep = kFirstCheckpointStep;
}

void TPWEngine::DropCheckpointsFrom(int r) {
  const auto from = FCheckpoints.lower_bound(r);
  if (from == FCheckpoints.end()) return;
  FCheckpoints.erase(from, FCheckpoints.end());
  CountCheckpointBytes();
}

void TPWEngine::CountCheckpointBytes() {
  FCheckpointBlocks.clear();
  FCheckpointBytes = 0;
  for (const auto& [at, ck] : FCheckpoints) FCheckpointBytes += ck.Bytes(FCheckpointBlocks);
}

void TPWEngine::MaybeCheckpoint() {
  const int p = FHistory.p();
  if (!CheckpointDue(p) || !FSelLines.empty() || !LayerIsCurrent()) return;
  AddCheckpoint(p);
  TrimPatches();
}

void TPWEngine::AddCheckpoint(int at) {
  // Only the blocks the records since the checkpoint below reached differ
  // from it; the rest is shared.
  const auto next = FCheckpoints.lower_bound(at);
  if (next != FCheckpoints.begin()) {
    const auto& [base, ck] = *std::prev(next);
    TTileSet changed(FPnBitmap.size());
    for (int j = base + 1; j <= at; ++j) changed.Add(RecordTiles(j));
    FCheckpoints.insert_or_assign(at, TLayerCheckpoint::Capture(FPnBitmap, &ck, &changed));
  } else {
    FCheckpoints.insert_or_assign(at, TLayerCheckpoint::Capture(FPnBitmap, nullptr, nullptr));
  }
  // A new checkpoint's own blocks are new; the rest are counted already.
  // (Counting all of them anew at every one made a pass laying dozens of
  // checkpoints quadratic.)
  FCheckpointBytes += FCheckpoints.at(at).Bytes(FCheckpointBlocks);
  ThinCheckpoints();
}

bool TPWEngine::CheckpointDue(int r) const {
  if (r < 0 || FCheckpoints.count(r)) return false;
  const auto next = FCheckpoints.lower_bound(r);
  const int below = next == FCheckpoints.begin() ? -1 : std::prev(next)->first;
  return r - below >= FCheckpointStep;
}

void TPWEngine::ThinCheckpoints() {
  // Checkpoints take at most half the budget, the kept changes near the
  // present the rest. Past it, the checkpoint whose neighbours lie closest
  // goes, so that the longest stretch a rebuild replays grows as little as
  // it can; new ones are laid no closer than the stretch it leaves, or
  // laying and dropping would alternate at every record.
  while (FCheckpointBytes > UndoCacheBudget() / 2 && !FCheckpoints.empty()) {
    auto victim = FCheckpoints.begin();
    int shortest = std::numeric_limits<int>::max();
    int prev = -1;
    for (auto it = FCheckpoints.begin(); it != FCheckpoints.end(); ++it) {
      const auto next = std::next(it);
      const int after = next == FCheckpoints.end() ? std::max(FHistory.c(), it->first) : next->first;
      if (after - prev <= shortest) {
        shortest = after - prev;
        victim = it;
      }
      prev = it->first;
    }
    FCheckpoints.erase(victim);
    FCheckpointStep = std::max(FCheckpointStep, shortest);
    CountCheckpointBytes();
  }
}

std::vector<int> TPWEngine::CheckpointRecords() const {
  std::vector<int> at;
  for (const auto& entry : FCheckpoints) at.push_back(entry.first);
  return at;
}

bool TPWEngine::SwapPatch(int r) {
  if (r < 0 || std::size_t(r) >= FPatches.size() || !FPatches[std::size_t(r)]) return false;
  auto& slot = FPatches[std::size_t(r)];
  TLayerPatch other = slot->Recapture(FPnBitmap);
  other.Pack();
  if (!slot->Restore(FPnBitmap)) {
    FPatchBytes -= slot->Bytes();
    slot.reset();
    return false;
  }
  const QRegion changed = slot->Region();
  FPatchBytes -= slot->Bytes();
  FPatchBytes += other.Bytes();
  slot = std::move(other);
  for (const QRect& rect : changed) Compose(rect);
  TrimPatches();
  return true;
}

void TPWEngine::EraseAll() {
  ForgetDrawing();
  PWImageBitmapUpdate();
}

void TPWEngine::ForgetDrawing() {
  FPnBitmap.fill(0);
  FHistory.ClearHistory();
  // Indexes of a selection would point into the forgotten history.
  FSelLines.clear();
  FSelTrans = TAr3x3::Identity();
  FSelRF = QRectF(0, 0, 0, 0);
  FSelPathData = QPainterPath();
  FSelBefore.reset();
  DropAllPatches();
  FLayerStyle = CurrentStyle();
  FLayerExact = true;
}

void TPWEngine::PWUndo() {
  LassoUpdate();
  if (!FHistory.CanUndo()) return;
  const int r = FHistory.p();
  if (LayerIsCurrent() && SwapPatch(r)) {
    FHistory.Undo();
    ++FStats.Swaps;
    return;
  }
  // Without a kept change: keep the present pixels for the redo, rebuild.
  std::optional<TLayerPatch> after;
  if (LayerIsCurrent()) after = TLayerPatch::Capture(FPnBitmap, RecordTiles(r));
  RebuildTo(r - 1);
  if (after) StorePatch(r, std::move(*after));
}

void TPWEngine::RebuildTo(int target) {
  const bool current = LayerIsCurrent();
  int from = -1;
  if (const auto it = FCheckpoints.upper_bound(target); current && it != FCheckpoints.begin()) {
    from = std::prev(it)->first;
  }
  // A layer of another look (nothing kept matches it), or a long way from
  // nothing without a checkpoint: going record by record, keeping changes,
  // would cost many full rebuilds; one banded pass costs one.
  if (!current || (from < 0 && target >= 2 * FCheckpointStep)) {
    RebuildWhole(target);
    return;
  }
  const int present = FHistory.p();
  // The layer differs from the checkpoint only where the records since it
  // drew; elsewhere it already holds the checkpoint's pixels.
  TTileSet area(FPnBitmap.size());
  for (int j = from + 1; j <= present; ++j) area.Add(RecordTiles(j));
  while (FHistory.p() > from) FHistory.Undo();
  if (from < 0) {
    for (const QRect& rect : area.Region()) ClearRect(FPnBitmap, rect);
  } else if (!FCheckpoints.at(from).Restore(FPnBitmap, area)) {
    while (FHistory.p() < target) FHistory.Redo();
    DropAllPatches(true);
    Replay();
    return;
  }
  // Forward record by record, keeping the changes of the stretch below the
  // target that further undo steps will take, and the checkpoints due.
  const int keepFrom = target - std::min(2 * FCheckpointStep, 128);
  std::vector<std::pair<int, TLayerPatch>> kept;
  for (int j = from + 1; j <= target; ++j) {
    FHistory.Redo();
    const TTileSet tiles = RecordTiles(j);
    if (j > keepFrom) kept.emplace_back(j, TLayerPatch::Capture(FPnBitmap, tiles));
    ApplyRecord(j, tiles, false);
    if (CheckpointDue(j)) AddCheckpoint(j);
  }
  ++FStats.Rebuilds;
  if (from >= 0) ++FStats.FromCheckpoint;
  FStats.MostReplayed = std::max(FStats.MostReplayed, target - from);
  FStats.Captured += static_cast<int>(kept.size());
  for (auto& [j, patch] : kept) StorePatch(j, std::move(patch));
  TrimPatches();
  for (const QRect& rect : area.Region()) Compose(rect);
}

void TPWEngine::RebuildWhole(int target, bool compose) {
  // Kept changes of another look are of no use; the step the drawing had
  // grown to still fits the budget in the new one.
  if (!LayerIsCurrent()) DropAllPatches(true);
  while (FHistory.p() > target) FHistory.Undo();
  const int present = FHistory.p();
  FLayerStyle = CurrentStyle();
  FLayerExact = true;
  FPnBitmap.fill(0);
  const QRegion whole(FPnBitmap.rect());
  // The history up to some way below the target is drawn in one go, as a
  // full rebuild does, and kept as a checkpoint; above it, stretches end at
  // the checkpoints due. Within a stretch, the strokes are drawn as the
  // history stands at its end; where a move of the stretch took strokes
  // drawn before it, those tiles are redrawn whole, since there the layer
  // at the stretch's start held them elsewhere. Checkpoints further down
  // would each cost such redrawing and a compression of much of the layer:
  // they are laid when undo goes there.
  while (FHistory.p() >= 0) FHistory.Undo();
  const int fine = std::clamp(FCheckpointStep, 1, kWholePassStep);
  int below = -1;
  while (below < present) {
    const auto next = FCheckpoints.upper_bound(below);
    int end = std::min(present, below < 0 ? std::max(present - kWholePassTail, fine - 1) : below + fine);
    // A checkpoint kept from before (in this look) ends a stretch too.
    if (next != FCheckpoints.end()) end = std::min(end, next->first);
    while (FHistory.p() < end) FHistory.Redo();
    RenderHistory(whole, FLayerStyle, below + 1);
    TTileSet moved(FPnBitmap.size());
    for (int j = below + 1; j <= end; ++j) {
      const TPWRec& rec = FHistory.Rec()[j];
      if (!rec.IsMove()) continue;
      for (const std::int32_t i : rec.Lines) {
        if (i < 0 || i > below || !FHistory.Rec()[i].IsStroke()) continue;
        moved.Add(StrokeTiles(i, j - 1));
        moved.Add(StrokeTiles(i, j));
      }
    }
    if (!moved.Empty()) ReplayTiles(moved, false);
    if (end >= 0 && !FCheckpoints.count(end) && (end < present || CheckpointDue(end))) AddCheckpoint(end);
    below = end;
  }
  ++FStats.Rebuilds;
  ++FStats.FullRebuilds;
  TrimPatches();
  if (compose) PWImageBitmapUpdate();
}

void TPWEngine::ApplyRecord(int r, const TTileSet& tiles, bool compose) {
  const TPWRec& rec = FHistory.Rec()[r];
  if (rec.IsStroke()) {
    const QRect rect = RenderRecord(FPnBitmap, FDLnBitmap, rec.Menu, rec.Points, FLayerStyle);
    if (compose) Compose(rect);
  } else {
    ReplayTiles(tiles, compose);
  }
}

void TPWEngine::PWRedo() {
  LassoUpdate();
  if (!FHistory.CanRedo()) return;
  const int r = FHistory.p() + 1;
  if (LayerIsCurrent() && SwapPatch(r)) {
    FHistory.Redo();
    MaybeCheckpoint();
    return;
  }
  const bool current = LayerIsCurrent();
  FHistory.Redo();
  if (!current) {
    RebuildWhole(r);
    return;
  }
  // The layer holds the drawing without record r: keep its tiles, then add r.
  const TTileSet tiles = RecordTiles(r);
  StorePatch(r, TLayerPatch::Capture(FPnBitmap, tiles));
  ApplyRecord(r, tiles, true);
  MaybeCheckpoint();
}

QRegion TPWEngine::TakeDirty() {
  QRegion r = FDirty;
  FDirty = QRegion();
  return r;
}

