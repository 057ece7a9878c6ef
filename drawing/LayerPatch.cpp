#include "LayerPatch.h"

#include <algorithm>
#include <cstring>
#include <thread>

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

void TLayerPatch::Decode(QImage& layer, const Tile& t, const std::uint32_t* data, const QRect& r) {
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
                    data + std::size_t(y - r.top()) * r.width(), std::size_t(r.width()) * 4);
      }
      return;
    case Tile::Kind::Runs: {
      std::size_t k = 0;
      std::uint32_t left = 0, value = 0;
      for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* line = reinterpret_cast<std::uint32_t*>(layer.scanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
          if (left == 0) {
            left = data[k];
            value = data[k + 1];
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

bool TLayerPatch::Restore(QImage& layer) const {
  if (layer.size() != FLayer) return false;
  const TTileSet shape(layer.size());
  if (!FIsPacked) {
    for (const Tile& t : FTiles) Decode(layer, t, t.data.data(), shape.TileRect(t.tx, t.ty));
    return true;
  }
  const QByteArray raw = FPacked.isEmpty() ? QByteArray() : qUncompress(FPacked);
  std::size_t words = 0;
  for (const Tile& t : FTiles) words += t.kind == Tile::Kind::Uniform ? 0 : t.value;
  // A store that does not unpack to what was packed is left unused.
  if (std::size_t(raw.size()) != words * 4) return false;
  const auto* data = reinterpret_cast<const std::uint32_t*>(raw.constData());
  for (const Tile& t : FTiles) {
    Decode(layer, t, data, shape.TileRect(t.tx, t.ty));
    if (t.kind != Tile::Kind::Uniform) data += t.value;
  }
  return true;
}

void TLayerPatch::Pack() {
  if (FIsPacked) return;
  QByteArray raw;
  for (Tile& t : FTiles) {
    if (t.kind == Tile::Kind::Uniform) continue;
    raw.append(reinterpret_cast<const char*>(t.data.data()), qsizetype(t.data.size() * 4));
    t.value = static_cast<std::uint32_t>(t.data.size());
    std::vector<std::uint32_t>().swap(t.data);
  }
  FTiles.shrink_to_fit();
  FPacked = raw.isEmpty() ? QByteArray() : qCompress(raw, 1);
  FPacked.squeeze();
  FIsPacked = true;
}

std::size_t TLayerPatch::Bytes() const {
  std::size_t n = sizeof(*this) + std::size_t(FPacked.capacity());
  for (const Tile& t : FTiles) n += sizeof(Tile) + t.data.capacity() * 4;
  return n;
}

QRegion TLayerPatch::Region() const {
  TTileSet set(FLayer);
  for (const Tile& t : FTiles) set.Add(set.TileRect(t.tx, t.ty));
  return set.Region();
}

TLayerCheckpoint TLayerCheckpoint::Capture(const QImage& layer, const TLayerCheckpoint* base,
                                           const TTileSet* changed) {
  TLayerCheckpoint ck;
  ck.FLayer = layer.size();
  ck.FCols = (layer.width() + Block - 1) / Block;
  ck.FRows = (layer.height() + Block - 1) / Block;
  ck.FBlocks.resize(std::size_t(ck.FCols) * ck.FRows);
  const bool incremental = base && changed && base->FLayer == ck.FLayer;
  constexpr int k = Block / TTileSet::Size;
  auto rows = [&](int from, int to) {
    QByteArray raw;
    for (int by = from; by < to; ++by) {
      for (int bx = 0; bx < ck.FCols; ++bx) {
        const std::size_t at = std::size_t(by) * ck.FCols + bx;
        if (incremental) {
          bool touched = false;
          for (int ty = by * k; ty < std::min((by + 1) * k, changed->Rows()) && !touched; ++ty) {
            for (int tx = bx * k; tx < std::min((bx + 1) * k, changed->Cols()) && !touched; ++tx) {
              touched = changed->Contains(tx, ty);
            }
          }
          if (!touched) {
            ck.FBlocks[at] = base->FBlocks[at];
            continue;
          }
        }
        const QRect r = QRect(bx * Block, by * Block, Block, Block) & layer.rect();
        const std::size_t rowBytes = std::size_t(r.width()) * 4;
        raw.resize(qsizetype(rowBytes * r.height()));
        bool clear = true;
        for (int y = 0; y < r.height(); ++y) {
          const uchar* src = layer.constScanLine(r.top() + y) + std::size_t(r.left()) * 4;
          std::memcpy(raw.data() + rowBytes * y, src, rowBytes);
          if (clear) {
            const auto* px = reinterpret_cast<const std::uint32_t*>(src);
            clear = std::all_of(px, px + r.width(), [](std::uint32_t v) { return v == 0; });
          }
        }
        if (clear) continue;
        // Level 1: several times faster than the default and nearly as small.
        // The buffer is sized for the worst case; keep only what it holds.
        QByteArray packed = qCompress(raw, 1);
        packed.squeeze();
        ck.FBlocks[at] = std::move(packed);
      }
    }
  };
  // Compressing a whole large layer takes long enough to share the rows of
  // blocks among the cores; each writes only its own blocks.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  const int parts = ck.FRows < 8 ? 1 : std::clamp(cores, 1, 4);
  std::vector<std::thread> helpers;
  for (int t = 1; t < parts; ++t) helpers.emplace_back(rows, ck.FRows * t / parts, ck.FRows * (t + 1) / parts);
  rows(0, ck.FRows / parts);
  for (std::thread& t : helpers) t.join();
  return ck;
}

bool TLayerCheckpoint::Restore(QImage& layer, const TTileSet& tiles) const {
  if (layer.size() != FLayer || tiles.Cols() != (FLayer.width() + TTileSet::Size - 1) / TTileSet::Size ||
      tiles.Rows() != (FLayer.height() + TTileSet::Size - 1) / TTileSet::Size) {
    return false;
  }
  constexpr int k = Block / TTileSet::Size;
  bool ok = true;
  for (int by = 0; by < FRows; ++by) {
    for (int bx = 0; bx < FCols; ++bx) {
      bool touched = false;
      for (int ty = by * k; ty < std::min((by + 1) * k, tiles.Rows()) && !touched; ++ty) {
        for (int tx = bx * k; tx < std::min((bx + 1) * k, tiles.Cols()) && !touched; ++tx) {
          touched = tiles.Contains(tx, ty);
        }
      }
      if (!touched) continue;
      const QRect r = QRect(bx * Block, by * Block, Block, Block) & layer.rect();
      const std::size_t rowBytes = std::size_t(r.width()) * 4;
      const QByteArray& packed = FBlocks[std::size_t(by) * FCols + bx];
      if (packed.isEmpty()) {
        for (int y = 0; y < r.height(); ++y) std::memset(layer.scanLine(r.top() + y) + std::size_t(r.left()) * 4, 0, rowBytes);
        continue;
      }
      const QByteArray raw = qUncompress(packed);
      if (std::size_t(raw.size()) != rowBytes * r.height()) {
        ok = false;
        continue;
      }
      for (int y = 0; y < r.height(); ++y) {
        std::memcpy(layer.scanLine(r.top() + y) + std::size_t(r.left()) * 4, raw.constData() + rowBytes * y, rowBytes);
      }
    }
  }
  return ok;
}

std::size_t TLayerCheckpoint::Bytes(std::unordered_set<const char*>& seen) const {
  std::size_t n = sizeof(*this) + FBlocks.capacity() * sizeof(QByteArray);
  for (const QByteArray& b : FBlocks) {
    if (b.isEmpty()) continue;
    if (seen.insert(b.constData()).second) n += std::size_t(b.capacity());
  }
  return n;
}
