#include "PWEngine.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <unordered_set>

#include "DevicePixels.h"
#include "StrokeGeometry.h"
#include "StrokePen.h"
#include "settings/Settings.h"

namespace {

QImage Layer(QSize size) {
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(0);
  return img;
}

}  // namespace

TPWEngine::TPWEngine() { Resize(QSizeF(0, 0)); }

TPWEngine::~TPWEngine() = default;

void TPWEngine::ClearRect(QImage& img, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    std::memset(img.scanLine(y) + r.left() * 4, 0, static_cast<std::size_t>(r.width()) * 4);
  }
}

void TPWEngine::SetLayerSize(QSize size) {
  if (FPnBitmap.size() != size) FPnBitmap = Layer(size);
  if (FDLnBitmap.size() != size) FDLnBitmap = Layer(size);
}

QSize TPWEngine::LayerSize(QSizeF size, qreal scale) { return DeviceSize(size, scale); }

void TPWEngine::Resize(QSizeF size, qreal scale) {
  FScale = scale > 0 ? scale : 1;
  const QSize whole = LayerSize(size, FScale);
  FDisplay = Layer(whole);
  FLaser.clear();
  FLaserShown = QRegion();
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
  if (!on) EndText();
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

TPointF TPWEngine::ToDevice(TPointF point) const {
  if (FScale == 1) return point;
  return {static_cast<float>(point.x * FScale), static_cast<float>(point.y * FScale)};
}

TPolygon TPWEngine::ToDevice(TPolygon points) const {
  if (FScale != 1) {
    for (TPointF& q : points) q = ToDevice(q);
  }
  return points;
}

TPWMenuItem TPWEngine::ToDevice(const TPWMenuItem& item) const {
  TPWMenuItem out = item;
  out.PenThickness = static_cast<float>(item.PenThickness * FScale);
  return out;
}

TRenderStyle TPWEngine::CurrentStyle() {
  FStyle.Smoothing = isSmoothing;
  return FStyle;
}

bool TPWEngine::LayerIsCurrent() { return FLayerExact && FLayerStyle == CurrentStyle(); }

void TPWEngine::EraseAll() {
  ForgetDrawing();
  PWImageBitmapUpdate();
}

void TPWEngine::ForgetDrawing() {
  FPnBitmap.fill(0);
  if (FTextOpen) {
    // The text being typed is shown on the scratch layer only.
    FDLnBitmap.fill(0);
    FLiveTiles = TTileSet(FDLnBitmap.size());
    FLiveRect = QRect();
  }
  FTextOpen = false;
  FText.clear();
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

QRegion TPWEngine::TakeDirty() {
  QRegion r = FDirty;
  FDirty = QRegion();
  return r;
}
