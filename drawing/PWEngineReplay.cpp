// Replay: the pen layer drawn anew from the history, whole or inside tiles.
#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <thread>
#include <vector>

#include "StrokeGeometry.h"
#include "StrokePen.h"

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
    TPWMenuItem menu;
    TPolygon points;
    std::string_view text;
  };
  const QRect bounds = area.boundingRect();
  std::vector<Job> jobs;
  for (int i = std::max(first, 0); i <= FHistory.p(); ++i) {
    const TPWRec& rec = FHistory.Rec()[i];
    if (!rec.IsStroke() || Skipped(i)) continue;
    TPolygon points = ToDevice(FHistory.ResolvedPoints(i));
    const TPWMenuItem menu = ToDevice(rec.Menu);
    // The region, not its bounds: a lasso move's tiles are scattered.
    if (area.intersects(RecordRect(menu, points, style, FPnBitmap.size(), rec.Text))) {
      jobs.push_back({menu, std::move(points), rec.Text});
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
      RenderRecordClipped(FPnBitmap, FDLnBitmap, job.menu, job.points, style, whole ? QRegion() : area, job.text);
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
    for (const Job& job : jobs) RenderRecordClipped(pen, scratch, job.menu, job.points, style, clip, job.text);
  };
  std::vector<std::thread> helpers;
  for (int b = 1; b < bands; ++b) helpers.emplace_back(band, b);
  band(0);
  for (std::thread& t : helpers) t.join();
}

TTileSet TPWEngine::StrokeTiles(int i, int upTo) const {
  TTileSet tiles(FPnBitmap.size());
  const TPWRec& rec = FHistory.Rec()[i];
  AddRecordTiles(tiles, ToDevice(rec.Menu), ToDevice(FHistory.ResolvedPointsAt(i, upTo)), FLayerStyle, rec.Text);
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
