#include "LayerPatch.h"

#include <algorithm>
#include <cstring>

TTileSet::TTileSet(QSize layer)
    : FLayer(layer),
      FCols((layer.width() + Size - 1) / Size),
      FRows((layer.height() + Size - 1) / Size),
      FBits(std::size_t(FCols) * FRows, false) {}

void TTileSet::Add(const QRect& rect) {
  const QRect r = rect & QRect(QPoint(0, 0), FLayer);
  if (r.isEmpty()) return;
  for (int ty = r.top() / Size; ty <= r.bottom() / Size; ++ty) {
    for (int tx = r.left() / Size; tx <= r.right() / Size; ++tx) FBits[std::size_t(ty) * FCols + tx] = true;
  }
}

void TTileSet::Add(const TTileSet& other) {
  for (std::size_t i = 0; i < FBits.size() && i < other.FBits.size(); ++i) {
    if (other.FBits[i]) FBits[i] = true;
  }
}

bool TTileSet::Empty() const { return std::none_of(FBits.begin(), FBits.end(), [](bool b) { return b; }); }

QRect TTileSet::TileRect(int tx, int ty) const {
  return QRect(tx * Size, ty * Size, Size, Size) & QRect(QPoint(0, 0), FLayer);
}

QRegion TTileSet::Region() const {
  QRegion region;
  for (int ty = 0; ty < FRows; ++ty) {
    // Runs of tiles in a row make one rectangle.
    int tx = 0;
    while (tx < FCols) {
      if (!Contains(tx, ty)) {
        ++tx;
        continue;
      }
      int end = tx;
      while (end < FCols && Contains(end, ty)) ++end;
      region += TileRect(tx, ty).united(TileRect(end - 1, ty));
      tx = end;
    }
  }
  return region;
}

TLayerPatch::Tile TLayerPatch::Encode(const QImage& layer, int tx, int ty, const QRect& r) {
  Tile t;
  t.tx = static_cast<std::int16_t>(tx);
  t.ty = static_cast<std::int16_t>(ty);
  const std::uint32_t first = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(r.top()))[r.left()];
  std::vector<std::uint32_t> runs;
  const std::size_t pixels = std::size_t(r.width()) * r.height();
  std::uint32_t value = first, count = 0;
  bool tooLong = false;
  for (int y = r.top(); y <= r.bottom() && !tooLong; ++y) {
    const auto* line = reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y));
    for (int x = r.left(); x <= r.right(); ++x) {
      if (line[x] == value) {
        ++count;
        continue;
      }
      runs.push_back(count);
      runs.push_back(value);
      if (runs.size() >= pixels) {
        tooLong = true;
        break;
      }
      value = line[x];
      count = 1;
    }
  }
  if (!tooLong && runs.empty()) {
    t.kind = Tile::Kind::Uniform;
    t.value = first;
    return t;
  }
  if (!tooLong) {
    runs.push_back(count);
    runs.push_back(value);
  }
  if (!tooLong && runs.size() < pixels) {
    t.kind = Tile::Kind::Runs;
    runs.shrink_to_fit();
    t.data = std::move(runs);
    return t;
  }
  t.kind = Tile::Kind::Raw;
  t.data.resize(pixels);
  for (int y = r.top(); y <= r.bottom(); ++y) {
    std::memcpy(t.data.data() + std::size_t(y - r.top()) * r.width(),
                reinterpret_cast<const std::uint32_t*>(layer.constScanLine(y)) + r.left(), std::size_t(r.width()) * 4);
  }
  return t;
}

void TLayerPatch::Decode(QImage& layer, const Tile& t, const QRect& r) {
  switch (t.kind) {
    case Tile::Kind::Uniform:
      for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(layer.scanLine(y)) + r.left();
        std::fill(line, line + r.width(), t.value);
      }
      return;
    case Tile::Kind::Raw:
      for (int y = r.top(); y <= r.bottom(); ++y) {
        std::memcpy(reinterpret_cast<std::uint32_t*>(layer.scanLine(y)) + r.left(),
                    t.data.data() + std::size_t(y - r.top()) * r.width(), std::size_t(r.width()) * 4);
      }
      return;
    case Tile::Kind::Runs: {
      std::size_t k = 0;
      std::uint32_t left = 0, value = 0;
      for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(layer.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
          if (left == 0) {
            left = t.data[k];
            value = t.data[k + 1];
            k += 2;
          }
          line[x] = value;
          --left;
        }
      }
      return;
    }
  }
}

TLayerPatch TLayerPatch::Capture(const QImage& layer, const TTileSet& tiles) {
  TLayerPatch patch;
  patch.FLayer = layer.size();
  for (int ty = 0; ty < tiles.Rows(); ++ty) {
    for (int tx = 0; tx < tiles.Cols(); ++tx) {
      if (tiles.Contains(tx, ty)) patch.FTiles.push_back(Encode(layer, tx, ty, tiles.TileRect(tx, ty)));
    }
  }
  return patch;
}

TLayerPatch TLayerPatch::Recapture(const QImage& layer) const {
  TLayerPatch patch;
  patch.FLayer = layer.size();
  patch.FTiles.reserve(FTiles.size());
  const TTileSet shape(layer.size());
  for (const Tile& t : FTiles) patch.FTiles.push_back(Encode(layer, t.tx, t.ty, shape.TileRect(t.tx, t.ty)));
  return patch;
}

void TLayerPatch::Restore(QImage& layer) const {
  if (layer.size() != FLayer) return;
  const TTileSet shape(layer.size());
  for (const Tile& t : FTiles) Decode(layer, t, shape.TileRect(t.tx, t.ty));
}

std::size_t TLayerPatch::Bytes() const {
  std::size_t n = sizeof(*this);
  for (const Tile& t : FTiles) n += sizeof(Tile) + t.data.capacity() * 4;
  return n;
}

QRegion TLayerPatch::Region() const {
  TTileSet set(FLayer);
  for (const Tile& t : FTiles) set.Add(set.TileRect(t.tx, t.ty));
  return set.Region();
}
