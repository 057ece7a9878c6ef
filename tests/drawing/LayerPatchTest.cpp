// Kept layers: packed changes and checkpoints give back exactly what they
// took, share only what did not change, and refuse a layer of another size.
#include <gtest/gtest.h>

#include <QPainter>
#include <random>

#include "QtTestApp.h"
#include "drawing/LayerPatch.h"

namespace {

bool AllClear(const QImage& img) {
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixel(x, y) != 0) return false;
    }
  }
  return true;
}

QImage Drawing(QSize size, std::uint32_t seed, int strokes) {
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(0);
  std::mt19937 rng(seed);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  for (int i = 0; i < strokes; ++i) {
    p.setPen(QPen(QColor::fromRgba(0xFF000000u | (rng() & 0xFFFFFF)), 2 + rng() % 12, Qt::SolidLine, Qt::RoundCap));
    p.setOpacity(i % 3 ? 1.0 : 0.4);
    p.drawLine(QPointF(rng() % size.width(), rng() % size.height()), QPointF(rng() % size.width(), rng() % size.height()));
  }
  return img;
}

TEST(LayerPatchTest, PackedChangeRestoresExactlyAndIsSmaller) {
  const QImage layer = Drawing({300, 200}, 1, 60);
  TTileSet tiles(layer.size());
  tiles.Add(QRect(40, 30, 150, 120));
  TLayerPatch patch = TLayerPatch::Capture(layer, tiles);
  const std::size_t coded = patch.Bytes();
  patch.Pack();
  EXPECT_LT(patch.Bytes(), coded);
  QImage out(layer.size(), layer.format());
  out.fill(0);
  ASSERT_TRUE(patch.Restore(out));
  for (const QRect& r : tiles.Region()) EXPECT_EQ(out.copy(r), layer.copy(r));
  EXPECT_TRUE(AllClear(out.copy(192, 0, 108, 200))) << "written outside the tiles";
  EXPECT_TRUE(AllClear(out.copy(0, 160, 300, 40))) << "written outside the tiles";
  QImage other(QSize(301, 200), layer.format());
  other.fill(0);
  EXPECT_FALSE(patch.Restore(other));
}

TEST(LayerPatchTest, CheckpointsShareUnchangedBlocksAndRestoreOnlyWhatIsAsked) {
  const QSize size(320, 256);
  QImage before = Drawing(size, 2, 80);
  const TLayerCheckpoint first = TLayerCheckpoint::Capture(before, nullptr, nullptr);
  // A change confined to one corner.
  QImage after = before.copy();
  {
    QPainter p(&after);
    p.fillRect(QRect(10, 10, 40, 30), QColor(0, 200, 0));
  }
  TTileSet changed(size);
  changed.Add(QRect(10, 10, 40, 30));
  const TLayerCheckpoint second = TLayerCheckpoint::Capture(after, &first, &changed);
  std::unordered_set<const char*> seen;
  const std::size_t alone = first.Bytes(seen);
  const std::size_t added = second.Bytes(seen);
  EXPECT_LT(added * 5, alone) << "the second checkpoint should cost only the changed block";

  TTileSet all(size);
  all.Add(QRect(QPoint(0, 0), size));
  QImage out(size, before.format());
  out.fill(0);
  ASSERT_TRUE(second.Restore(out, all));
  EXPECT_EQ(out, after);
  ASSERT_TRUE(first.Restore(out, all));
  EXPECT_EQ(out, before);

  // Only blocks touching the asked tiles are written.
  QImage part(size, before.format());
  part.fill(0);
  TTileSet one(size);
  one.Add(QRect(200, 200, 1, 1));
  ASSERT_TRUE(second.Restore(part, one));
  const QRect block(TLayerCheckpoint::Block * (200 / TLayerCheckpoint::Block),
                    TLayerCheckpoint::Block * (200 / TLayerCheckpoint::Block), TLayerCheckpoint::Block,
                    TLayerCheckpoint::Block);
  EXPECT_EQ(part.copy(block), after.copy(block));
  EXPECT_TRUE(AllClear(part.copy(0, 0, 128, 128)));

  QImage wrong(QSize(320, 255), before.format());
  EXPECT_FALSE(second.Restore(wrong, all));
}

TEST(LayerPatchTest, EmptyLayerCheckpointCostsAlmostNothing) {
  QImage empty(QSize(1920, 1080), QImage::Format_ARGB32_Premultiplied);
  empty.fill(0);
  const TLayerCheckpoint ck = TLayerCheckpoint::Capture(empty, nullptr, nullptr);
  std::unordered_set<const char*> seen;
  EXPECT_LT(ck.Bytes(seen), 32u * 1024);
  QImage out = Drawing(empty.size(), 3, 5);
  TTileSet all(out.size());
  all.Add(out.rect());
  ASSERT_TRUE(ck.Restore(out, all));
  EXPECT_EQ(out, empty);
}

}  // namespace
