// The laser pointer: a bright dot with a short trail along the path drawn,
// fading out by itself. It lives on the display alone: no record, no pen
// layer, so undo, saving and the PSD never see it.
#include <QPainter>
#include <algorithm>
#include <chrono>

#include "PWEngine.h"
#include "StrokeGeometry.h"

namespace {

// The trail is this much of the pen's width; the dot's glow reaches further.
constexpr qreal kDotFactor = 1.6;
constexpr qreal kGlowFactor = 2.6;

qreal Remaining(qint64 age) {
  return std::clamp(1.0 - static_cast<qreal>(age) / TPWEngine::LaserFadeMs, 0.0, 1.0);
}

QColor Faded(TAlphaColor colour, qreal opacity) {
  QColor c = QColor::fromRgba(colour);
  c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
  return c;
}

}  // namespace

qint64 TPWEngine::Now() const {
  if (FClock) return FClock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void TPWEngine::AddLaserPoint(TPointF at, bool start, bool draw) {
  FLaser.push_back({at, Now(), start});
  if (draw) LaserTick();
}

QRegion TPWEngine::LaserRegion() const {
  QRegion region;
  const qreal w = FCrPen.PenThickness * FScale;
  const qreal trail = StrokeMargin(static_cast<float>(w));
  for (std::size_t i = 0; i < FLaser.size(); ++i) {
    const TPointF b = ToDevice(FLaser[i].At);
    const TPointF a = FLaser[i].Start || i == 0 ? b : ToDevice(FLaser[i - 1].At);
    region += PixelRect(GrownBounds({a, b}, trail), FDisplay.size());
  }
  if (!FLaser.empty()) {
    const TPointF tip = ToDevice(FLaser.back().At);
    region += PixelRect(GrownBounds({tip, tip}, w * kGlowFactor / 2 + 2), FDisplay.size());
  }
  return region;
}

void TPWEngine::LaserTick() {
  const qint64 now = Now();
  // A point that is older than the fade is gone; the one after it starts
  // the trail anew.
  const auto alive =
      std::find_if(FLaser.begin(), FLaser.end(), [&](const TLaserPoint& q) { return now - q.Time < LaserFadeMs; });
  // The dot stays with the newest point until that too has faded.
  FLaser.erase(FLaser.begin(), alive);
  if (!FLaser.empty()) FLaser.front().Start = true;
  const QRegion now_shown = LaserRegion();
  for (const QRect& r : FLaserShown + now_shown) Compose(r);
  FLaserShown = now_shown;
  if (FLaser.empty()) return;
  QPainter p(&FDisplay);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setClipRegion(now_shown);
  const qreal w = FCrPen.PenThickness * FScale;
  for (std::size_t i = 1; i < FLaser.size(); ++i) {
    if (FLaser[i].Start) continue;
    // A segment fades with its older end, and thins as it goes.
    const qreal left = Remaining(now - FLaser[i - 1].Time);
    const TPointF a = ToDevice(FLaser[i - 1].At), b = ToDevice(FLaser[i].At);
    p.setPen(QPen(Faded(FCrPen.PenColor, left), std::max(1.0, w * (0.4 + 0.6 * left)), Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
  }
  const TPointF tip = ToDevice(FLaser.back().At);
  const qreal left = Remaining(now - FLaser.back().Time);
  const QPointF c(tip.x, tip.y);
  QRadialGradient glow(c, w * kGlowFactor / 2);
  glow.setColorAt(0, Faded(FCrPen.PenColor, left));
  glow.setColorAt(1, Faded(FCrPen.PenColor, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(c, w * kGlowFactor / 2, w * kGlowFactor / 2);
  // A white core makes the dot bright on any colour under it.
  p.setBrush(Faded(FCrPen.PenColor, left));
  p.drawEllipse(c, w * kDotFactor / 2, w * kDotFactor / 2);
  p.setBrush(Faded(0xFFFFFFFF, left));
  p.drawEllipse(c, w * kDotFactor / 5, w * kDotFactor / 5);
}

void TPWEngine::DropLaser() {
  FLaser.clear();
  for (const QRect& r : FLaserShown) Compose(r);
  FLaserShown = QRegion();
}
