#pragma once

#include <QImage>
#include <QRegion>
#include <cstdint>
#include <vector>

#include "PenItem.h"

// Square tiles of a layer, kept as a bit per tile.
class TTileSet {
 public:
  static constexpr int Size = 32;

  TTileSet() = default;
  explicit TTileSet(QSize layer);
  // Marks every tile that rect touches (clipped to the layer).
  void Add(const QRect& rect);
  void Add(const TTileSet& other);
  bool Contains(int tx, int ty) const { return FBits[std::size_t(ty) * FCols + tx]; }
  bool Empty() const;
  int Cols() const { return FCols; }
  int Rows() const { return FRows; }
  QRect TileRect(int tx, int ty) const;
  QRegion Region() const;

 private:
  QSize FLayer;
  int FCols = 0;
  int FRows = 0;
  std::vector<bool> FBits;
};

// The content of some tiles of a layer, compressed: a tile that is one
// colour (an empty one, say) costs a word, others are run-length coded
// when that is smaller.
class TLayerPatch {
 public:
  static TLayerPatch Capture(const QImage& layer, const TTileSet& tiles);
  // Puts the captured pixels back.
  void Restore(QImage& layer) const;
  // The same tiles as they are in layer now.
  TLayerPatch Recapture(const QImage& layer) const;
  std::size_t Bytes() const;
  QRegion Region() const;
  bool Empty() const { return FTiles.empty(); }

 private:
  struct Tile {
    std::int16_t tx = 0, ty = 0;
    // Uniform: one value; Runs: (count, value) pairs; Raw: the pixels.
    enum class Kind : std::uint8_t { Uniform, Runs, Raw } kind = Kind::Uniform;
    std::uint32_t value = 0;
    std::vector<std::uint32_t> data;
  };
  static Tile Encode(const QImage& layer, int tx, int ty, const QRect& r);
  static void Decode(QImage& layer, const Tile& t, const QRect& r);

  std::vector<Tile> FTiles;
  QSize FLayer;
};
