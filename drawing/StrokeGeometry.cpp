#include "StrokeGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

TPolygon SmoothPoints(const TPolygon& q) {
  if (q.size() <= 2) return q;
  TPolygon r(q.size());
  r.front() = q.front();
  r.back() = q.back();
  for (std::size_t i = 1; i + 1 < q.size(); ++i) {
    r[i] = {static_cast<float>((double(q[i - 1].x) + double(q[i + 1].x)) / 2),
            static_cast<float>((double(q[i - 1].y) + double(q[i + 1].y)) / 2)};
  }
  return r;
}

QPainterPath PolylinePath(const TPolygon& points) {
  QPainterPath path;
  if (points.empty()) return path;
  path.reserve(static_cast<int>(points.size()));
  path.moveTo(points[0].x, points[0].y);
  for (std::size_t i = 1; i < points.size(); ++i) path.lineTo(points[i].x, points[i].y);
  return path;
}

float DirectionAngle(TPointF a, TPointF b) {
  constexpr float pi = std::numbers::pi_v<float>;
  const float dx = b.x - a.x;
  const float dy = a.y - b.y;
  if (dx == 0) return dy > 0 ? pi / 2 : 3 * pi / 2;
  const float t = std::atan(dy / dx);
  if (dx > 0) return dy >= 0 ? t : t + 2 * pi;
  return t + pi;
}

std::pair<TPointF, TPointF> ArrowHeadSides(TPointF t, TPointF r, float thickness, float arrowSize) {
  constexpr float side = std::numbers::pi_v<float> / 6;
  const float len = thickness * arrowSize;
  const float theta = DirectionAngle(t, r);
  // Only the offsets are rounded (halves to even); the tip keeps its fraction.
  auto offset = [](float v) { return static_cast<float>(std::nearbyint(v)); };
  const TPointF w1{t.x + offset(len * std::cos(theta + side)), t.y - offset(len * std::sin(theta + side))};
  const TPointF w2{t.x + offset(len * std::cos(theta - side)), t.y - offset(len * std::sin(theta - side))};
  return {w1, w2};
}

namespace {

// Walks from point `from` away from the tip at `tip` (step -1 or +1) until
// the path between them is at least `least` long or the stroke ends.
std::size_t SteadyReference(const TPolygon& pts, std::size_t tip, std::size_t from, int step, qreal least) {
  qreal along = 0;
  for (std::size_t i = tip; i != from; i += static_cast<std::size_t>(step)) {
    along += SegmentLength(pts[i], pts[i + static_cast<std::size_t>(step)]);
  }
  const std::size_t last = step < 0 ? 0 : pts.size() - 1;
  while (along < least && from != last) {
    along += SegmentLength(pts[from], pts[from + static_cast<std::size_t>(step)]);
    from += static_cast<std::size_t>(step);
  }
  return from;
}

}  // namespace

QPainterPath ArrowPath(const TPolygon& points, bool startHead, float thickness, float arrowSize) {
  QPainterPath path = PolylinePath(points);
  if (points.empty()) return path;
  // Heads are worked out on the point list as it grows, as the stroke does.
  TPolygon all = points;
  const std::size_t n = points.size();
  const qreal steady = qreal(thickness) * arrowSize;
  {
    const TPointF t = points[n - 1];
    const TPointF r = points[SteadyReference(points, n - 1, n >= 11 ? n - 11 : 0, -1, steady)];
    const auto [w1, w2] = ArrowHeadSides(t, r, thickness, arrowSize);
    path.lineTo(w1.x, w1.y);
    path.moveTo(t.x, t.y);
    path.lineTo(w2.x, w2.y);
    all.insert(all.end(), {w1, t, w2});
  }
  if (startHead) {
    const std::size_t m = all.size();
    const TPointF t = all[0];
    // A stroke of eleven points or more takes its reference from its own
    // points; a shorter one from the end head's, as ten points back would.
    const TPointF r = n >= 11 ? points[SteadyReference(points, 0, 10, 1, steady)] : m > 10 ? all[10] : all[m - 1];
    const auto [w1, w2] = ArrowHeadSides(t, r, thickness, arrowSize);
    path.moveTo(t.x, t.y);
    path.lineTo(w1.x, w1.y);
    path.moveTo(t.x, t.y);
    path.lineTo(w2.x, w2.y);
  }
  return path;
}

bool InsidePolygon(const TPolygon& v, double x, double y) {
  bool inside = false;
  const std::size_t k = v.size();
  for (std::size_t i = 0; i < k; ++i) {
    const std::size_t j = i == 0 ? k - 1 : i - 1;
    const double xi = v[i].x, yi = v[i].y, xj = v[j].x, yj = v[j].y;
    if ((y >= yi && y < yj) || (y >= yj && y < yi)) {
      const double xc = (xj - xi) * (y - yi) / (yj - yi) + xi;
      if (xc > x) inside = !inside;
    }
  }
  return inside;
}

TAlphaColor RainbowSegmentColor(int i) {
  return RainbowColors[static_cast<std::size_t>(i % static_cast<int>(RainbowColors.size()))];
}

TRainbowBands::TRainbowBands(float thickness) : FLength(std::max<qreal>(1.5 * thickness, 1)), FNext(FLength) {}

TRainbowBands::TSegment TRainbowBands::Add(TPointF a, TPointF b) {
  const TSegment here{FBand, FAlong - FBandStart};
  FAlong += SegmentLength(a, b);
  // A point a hair short of the mark counts as on it: sums of segment
  // lengths are not exact.
  const qreal slack = FLength / 64;
  if (FAlong + slack >= FNext) {
    ++FBand;
    FBandStart = FAlong;
    FNext = (std::floor((FAlong + slack) / FLength) + 1) * FLength;
  }
  return here;
}

std::vector<int> RainbowBandsOf(const TPolygon& points, float thickness) {
  std::vector<int> bands;
  TRainbowBands counter(thickness);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) bands.push_back(counter.Add(points[i], points[i + 1]).Band);
  return bands;
}

QRectF GrownBounds(const TPolygon& points, qreal margin) {
  if (points.empty()) return {};
  float x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
  for (const TPointF& p : points) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  return QRectF(QPointF(x0 - margin, y0 - margin), QPointF(x1 + margin, y1 + margin));
}

QRect PixelRect(const QRectF& r, const QSize& surface) {
  const int x0 = std::max(0, static_cast<int>(std::floor(r.left())));
  const int y0 = std::max(0, static_cast<int>(std::floor(r.top())));
  const int x1 = std::min(surface.width(), static_cast<int>(std::ceil(r.right())));
  const int y1 = std::min(surface.height(), static_cast<int>(std::ceil(r.bottom())));
  if (x1 <= x0 || y1 <= y0) return {};
  return QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1));
}

qreal SegmentLength(TPointF a, TPointF b) {
  return std::hypot(qreal(b.x) - a.x, qreal(b.y) - a.y);
}
