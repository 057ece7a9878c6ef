#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "drawing/StrokeGeometry.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

TEST(SmoothPointsTest, KeepsCountAndEndsAndAveragesNeighbours) {
  const TPolygon two{{1, 2}, {5, 9}};
  EXPECT_EQ(SmoothPoints(two), two);
  EXPECT_EQ(SmoothPoints({}), TPolygon{});
  const TPolygon zig{{0, 0}, {10, 10}, {20, 0}, {30, 10}, {40, 0}};
  const TPolygon s = SmoothPoints(zig);
  ASSERT_EQ(s.size(), zig.size());
  EXPECT_EQ(s.front(), zig.front());
  EXPECT_EQ(s.back(), zig.back());
  // The point itself takes no part: its neighbours' midpoint replaces it.
  EXPECT_EQ(s[1], (TPointF{10, 0}));
  EXPECT_EQ(s[2], (TPointF{20, 10}));
  EXPECT_EQ(s[3], (TPointF{30, 0}));
  // Computed from the raw neighbours, not from already smoothed ones.
  const TPolygon s2 = SmoothPoints({{0, 0}, {0, 4}, {0, 8}, {0, 0}});
  EXPECT_EQ(s2[2], (TPointF{0, 2}));
}

TEST(DirectionAngleTest, QuadrantsAndVerticals) {
  struct Case {
    TPointF a, b;
    float theta;
  };
  const Case cases[] = {
      {{0, 0}, {10, 0}, 0},                       // right
      {{0, 0}, {0, -10}, kPi / 2},                // up (screen y grows down)
      {{0, 0}, {-10, 0}, kPi},                    // left
      {{0, 0}, {0, 10}, 3 * kPi / 2},             // down
      {{0, 0}, {0, 0}, 3 * kPi / 2},              // no direction counts as down
      {{0, 0}, {10, 10}, 2 * kPi - kPi / 4},      // right and down
      {{0, 0}, {-10, -10}, kPi - kPi / 4},        // left and up
      {{0, 0}, {-10, 10}, kPi + kPi / 4},         // left and down
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(DirectionAngle(c.a, c.b), c.theta, 1e-5) << c.b.x << "," << c.b.y;
  }
}

TEST(ArrowHeadTest, WorkedCasesAtWidthTen) {
  // Two equal points: theta 3*pi/2, the head opens downward.
  auto [w1, w2] = ArrowHeadSides({100, 100}, {100, 100}, 10, 5);
  EXPECT_EQ(w1, (TPointF{125, 143}));
  EXPECT_EQ(w2, (TPointF{75, 143}));
  // Left to right: theta pi at the tip; the sides reach back 43 and out 25.
  std::tie(w1, w2) = ArrowHeadSides({200.5f, 50.25f}, {100, 50.25f}, 10, 5);
  EXPECT_EQ(w1, (TPointF{157.5f, 75.25f}));
  EXPECT_EQ(w2, (TPointF{157.5f, 25.25f}));
}

TEST(ArrowHeadTest, PathHasHeadsAsSubPathsFromTheRightReferencePoints) {
  TPolygon pts;
  for (int i = 0; i < 15; ++i) pts.push_back({float(10 * i), 0});
  const QPainterPath end = ArrowPath(pts, false, 2, 5);
  // 15 points, then line-to W1, move-to tip, line-to W2.
  ASSERT_EQ(end.elementCount(), 18);
  EXPECT_TRUE(end.elementAt(15).isLineTo());
  EXPECT_TRUE(end.elementAt(16).isMoveTo());
  EXPECT_EQ(QPointF(end.elementAt(16)), QPointF(140, 0));
  EXPECT_EQ(QPointF(end.elementAt(15)), QPointF(140 - 9, 5));  // L = 10: round(8.66), round(5)
  const QPainterPath both = ArrowPath(pts, true, 2, 5);
  ASSERT_EQ(both.elementCount(), 22);
  EXPECT_TRUE(both.elementAt(18).isMoveTo());
  EXPECT_EQ(QPointF(both.elementAt(18)), QPointF(0, 0));
  // Reference point 10: the start head opens towards +x.
  EXPECT_EQ(QPointF(both.elementAt(19)), QPointF(9, -5));

  // Under eleven points the start head looks at the end head's last point.
  const TPolygon three{{0, 0}, {10, 0}, {20, 0}};
  const QPainterPath shortOne = ArrowPath(three, true, 10, 5);
  ASSERT_EQ(shortOne.elementCount(), 10);
  const auto [w1, w2] = ArrowHeadSides({20, 0}, {0, 0}, 10, 5);
  const auto [s1, s2] = ArrowHeadSides({0, 0}, w2, 10, 5);
  EXPECT_EQ(QPointF(shortOne.elementAt(7)), QPointF(s1.x, s1.y));
  EXPECT_EQ(QPointF(shortOne.elementAt(9)), QPointF(s2.x, s2.y));
  (void)w1;
}

TEST(InsidePolygonTest, EvenOddWithHalfOpenEdges) {
  const TPolygon square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(InsidePolygon(square, 5, 5));
  EXPECT_FALSE(InsidePolygon(square, 15, 5));
  EXPECT_FALSE(InsidePolygon(square, -1, 5));
  // Level with the top edge (smaller y of the vertical edges) counts, the
  // bottom edge does not; horizontal edges never count.
  EXPECT_TRUE(InsidePolygon(square, 5, 0));
  EXPECT_FALSE(InsidePolygon(square, 5, 10));
  // On the left edge: the crossing at x = 10 lies to the right, the one at 0 does not.
  EXPECT_TRUE(InsidePolygon(square, 0, 5));
  EXPECT_FALSE(InsidePolygon(square, 10, 5));
  // A bow tie: the crossing point area is covered once from each side.
  const TPolygon bow{{0, 0}, {10, 10}, {10, 0}, {0, 10}};
  EXPECT_TRUE(InsidePolygon(bow, 2, 5));
  EXPECT_FALSE(InsidePolygon(bow, 5, 2));
  // Fewer than three vertices enclose nothing.
  EXPECT_FALSE(InsidePolygon({{0, 0}, {10, 10}}, 5, 5));
  EXPECT_FALSE(InsidePolygon({}, 0, 0));
}

TEST(RainbowTest, SegmentColoursCycleFromMagenta) {
  EXPECT_EQ(RainbowSegmentColor(0), 0xFFFF00FFu);
  EXPECT_EQ(RainbowSegmentColor(6), 0xFF6666CCu);
  EXPECT_EQ(RainbowSegmentColor(7), 0xFFFF00FFu);  // the eighth segment of nine points
  EXPECT_EQ(RainbowSegmentColor(15), 0xFFFF0000u);
}

TEST(PixelRectTest, CoversAndClips) {
  EXPECT_EQ(PixelRect(QRectF(1.5, 2.5, 3, 3), QSize(100, 100)), QRect(1, 2, 4, 4));
  EXPECT_EQ(PixelRect(QRectF(-5, -5, 10, 10), QSize(100, 100)), QRect(0, 0, 5, 5));
  EXPECT_TRUE(PixelRect(QRectF(200, 200, 5, 5), QSize(100, 100)).isEmpty());
  EXPECT_TRUE(PixelRect(QRectF(), QSize(100, 100)).isEmpty());
}

}  // namespace
